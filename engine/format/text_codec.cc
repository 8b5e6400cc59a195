#include "engine/format/text_codec.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "common/error.h"
#include "engine/format/table_header.h"

namespace pdx {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

constexpr std::uint8_t kSortOrderRoman8 = 0x14;

// Level 3.x tables: the DOS code page their sort-order byte implies.
int dos_code_page_of_sort_order(std::uint8_t sort_order) {
    switch (sort_order) {
        case 0x54:  // intl850
            return 850;
        case 0x82:  // nordan
        case 0xE6:  // nordan40
            return 865;
        default:  // ascii, intl, swedfin
            return 437;
    }
}

bool is_ascii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

void append_replacement(std::string& out) {
    out += "\xEF\xBF\xBD";
}

// Feeds `text` through `converter` into `out`, a buffer at a time. At a byte it cannot
// convert, `skip_invalid(out)` either steps over that byte (true; the converter starts
// afresh after it) or gives the conversion up (false, returned).
template <typename SkipInvalid>
bool convert(iconv_t converter, std::string_view text, std::string& out, SkipInvalid skip_invalid) {
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(text.data());
    std::size_t in_left = text.size();
    char buffer[256];
    while (in_left > 0) {
        char* dst = buffer;
        std::size_t dst_left = sizeof buffer;
        const std::size_t r = iconv(converter, &in, &in_left, &dst, &dst_left);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (r != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        if (!skip_invalid(out)) return false;
        ++in;
        --in_left;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
    return true;
}

}  // namespace

std::string charset_of(const TableHeader& header) {
    if (header.has_extension()) {
        if (header.code_page == 0)
            return header.sort_order == kSortOrderRoman8 || header.sort_order_id == "BLROM800"
                       ? "HP-ROMAN8"
                       : "CP437";
        return "CP" + std::to_string(header.code_page);
    }
    return "CP" + std::to_string(dos_code_page_of_sort_order(header.sort_order));
}

TextCodec::TextCodec(const std::string& charset) : charset_(charset) {
    to_utf8_ = iconv_open("UTF-8", charset.c_str());
    from_utf8_ = iconv_open(charset.c_str(), "UTF-8");
    if (to_utf8_ == kNoConverter || from_utf8_ == kNoConverter) {
        close();
        throw vaq::Error("The code page " + charset + " cannot be converted on this system.");
    }
}

TextCodec::TextCodec(TextCodec&& other) noexcept
    : charset_(std::move(other.charset_)),
      to_utf8_(std::exchange(other.to_utf8_, kNoConverter)),
      from_utf8_(std::exchange(other.from_utf8_, kNoConverter)) {}

TextCodec& TextCodec::operator=(TextCodec&& other) noexcept {
    if (this != &other) {
        close();
        charset_ = std::move(other.charset_);
        to_utf8_ = std::exchange(other.to_utf8_, kNoConverter);
        from_utf8_ = std::exchange(other.from_utf8_, kNoConverter);
    }
    return *this;
}

TextCodec::~TextCodec() {
    close();
}

void TextCodec::close() {
    if (to_utf8_ != kNoConverter) iconv_close(to_utf8_);
    if (from_utf8_ != kNoConverter) iconv_close(from_utf8_);
    to_utf8_ = from_utf8_ = kNoConverter;
}

std::string TextCodec::to_utf8(std::string_view text) const {
    std::string out;
    append_utf8(out, text);
    return out;
}

void TextCodec::append_utf8(std::string& out, std::string_view text) const {
    if (is_ascii(text)) {
        out.append(text);
        return;
    }
    // A byte the code page does not define (or a cut multi-byte sequence) reads as U+FFFD.
    convert(to_utf8_, text, out, [](std::string& converted) {
        append_replacement(converted);
        return true;
    });
}

std::optional<std::string> TextCodec::from_utf8(std::string_view text) const {
    if (is_ascii(text)) return std::string(text);
    std::string out;
    if (!convert(from_utf8_, text, out, [](std::string&) { return false; })) return std::nullopt;
    return out;
}

}  // namespace pdx
