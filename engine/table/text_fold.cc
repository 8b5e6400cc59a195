#include "engine/table/text_fold.h"

#include <locale.h>
#include <wctype.h>

#include "common/text.h"

namespace pdx {

namespace {

// The C.UTF-8 character classes, independent of the process locale. Null when the system
// lacks them; only ASCII is folded then.
locale_t utf8_ctype() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    return locale;
}

bool is_ascii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

void fold_ascii(std::string& text) {
    for (char& c : text)
        c = vaq::ascii_lower(c);
}

// One code point from `text` at `pos`; invalid bytes stand for themselves.
char32_t next_code_point(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    const int length = lead < 0x80         ? 1
                       : (lead >> 5) == 6  ? 2
                       : (lead >> 4) == 14 ? 3
                       : (lead >> 3) == 30 ? 4
                                           : 0;
    if (length <= 1 || pos + static_cast<std::size_t>(length) > text.size()) {
        ++pos;
        return lead < 0x80 ? lead : 0xFFFD;
    }
    char32_t cp = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i)
        cp = (cp << 6) |
             (static_cast<unsigned char>(text[pos + static_cast<std::size_t>(i)]) & 0x3F);
    pos += static_cast<std::size_t>(length);
    return cp;
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::string fold_case(std::string_view utf8) {
    std::string out;
    if (is_ascii(utf8) || utf8_ctype() == nullptr) {
        out.assign(utf8);
        fold_ascii(out);
        return out;
    }
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t cp = next_code_point(utf8, pos);
        append_utf8(out, static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), utf8_ctype())));
    }
    return out;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (is_ascii(a) && is_ascii(b)) return vaq::iequals(a, b);
    return fold_case(a) == fold_case(b);
}

}  // namespace pdx
