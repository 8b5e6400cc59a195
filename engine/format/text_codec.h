#pragma once

// Conversion of alpha values and field names between the table's code page and UTF-8.
// Level >= 4 tables name their DOS/Windows code page in header 0x6A; code page 0 with the
// SQL Link ROMAN8 sort order is HP Roman-8; level 3.x tables have no code page field and
// take the DOS code page of their sort order (437 for 'ascii' and 'intl').

#include <iconv.h>

#include <optional>
#include <string>
#include <string_view>

namespace pdx {

class TableHeader;

// The iconv name of a table's character set ("CP1252", "HP-ROMAN8", ...).
std::string charset_of(const TableHeader& header);

class TextCodec {
  public:
    // Throws vaq::Error when the system cannot convert `charset`.
    explicit TextCodec(const std::string& charset);
    TextCodec(TextCodec&& other) noexcept;
    TextCodec& operator=(TextCodec&& other) noexcept;
    TextCodec(const TextCodec&) = delete;
    TextCodec& operator=(const TextCodec&) = delete;
    ~TextCodec();

    const std::string& charset() const { return charset_; }
    // Bytes the code page does not define become U+FFFD. ASCII passes through unchanged.
    std::string to_utf8(std::string_view text) const;
    // The same, appended to `out`.
    void append_utf8(std::string& out, std::string_view text) const;
    // Nothing when the text holds a character the code page cannot represent or is not UTF-8.
    std::optional<std::string> from_utf8(std::string_view text) const;

  private:
    void close();

    std::string charset_;
    // iconv keeps shift state; each call resets it, so one descriptor per direction is enough.
    mutable iconv_t to_utf8_ = reinterpret_cast<iconv_t>(-1);
    mutable iconv_t from_utf8_ = reinterpret_cast<iconv_t>(-1);
};

}  // namespace pdx
