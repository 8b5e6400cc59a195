#include "engine/table/index_key_order.h"

#include <cstring>
#include <string_view>

#include "common/text.h"
#include "engine/format/field_codec.h"
#include "engine/format/table_header.h"

namespace pdx {

namespace {

// Case-insensitive indexes store their alpha keys in upper case (zakazky.XG0 holds
// "40,0L-5,0X1525" for the record's "40,0l-5,0x1525"), so they order by upper case.
unsigned char upper_ascii(unsigned char c) {
    return static_cast<unsigned char>(vaq::ascii_upper(static_cast<char>(c)));
}

bool is_ascii_alnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int sign(int value) {
    return (value > 0) - (value < 0);
}

bool is_ascii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace

AlphaCollation alpha_collation_of(const TableHeader& header) {
    std::string id;
    for (char c : header.sort_order_id)
        id += vaq::ascii_lower(c);
    if (id.empty())
        return header.sort_order == 0 ? AlphaCollation::kBytes : AlphaCollation::kDictionary;
    // 'ascii' and its ANSI form sort by the code page's bytes.
    if (id == "ascii" || id == "dbwinus0") return AlphaCollation::kBytes;
    return AlphaCollation::kDictionary;
}

KeyOrder::KeyOrder(std::vector<Part> parts, AlphaCollation collation, bool case_insensitive,
                   TextFolder folder)
    : parts_(std::move(parts)),
      collation_(collation),
      case_insensitive_(case_insensitive),
      folder_(std::move(folder)) {}

bool KeyOrder::same_text(std::string_view a, std::string_view b) const {
    if (a == b) return true;
    if (!case_insensitive_) return false;
    if (a.size() == b.size()) {
        bool same = true;
        for (std::size_t i = 0; i < a.size() && same; ++i)
            same = upper_ascii(static_cast<unsigned char>(a[i])) ==
                   upper_ascii(static_cast<unsigned char>(b[i]));
        if (same) return true;
    }
    // Letters beyond ASCII (ä and Ä) need the code page.
    if (!folder_ || (is_ascii(a) && is_ascii(b))) return false;
    return folder_(a) == folder_(b);
}

// Text ends at its first NUL; a text that is a prefix of the other sorts first. Under the
// byte order a case-insensitive index compares upper-case ASCII; letters beyond ASCII are
// not folded here, so their order is not taken as certain. Under a dictionary order only
// letters and digits have a certain place (punctuation may be ignored, accented letters
// stand somewhere among the others, and which case comes first is not known).
KeyOrder::AlphaResult KeyOrder::compare_alpha(Bytes a, Bytes b) const {
    const std::string_view x = decode_alpha(a);
    const std::string_view y = decode_alpha(b);
    const bool bytes = collation_ == AlphaCollation::kBytes;
    const bool exact = bytes && !case_insensitive_;
    const auto certain_place = [&](unsigned char c) {
        return exact || (bytes ? c < 0x80 : is_ascii_alnum(c));
    };
    const std::size_t n = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(x[i]);
        const auto d = static_cast<unsigned char>(y[i]);
        if (c == d) continue;
        if (exact) return {c < d ? -1 : 1, true};
        const unsigned char fc = upper_ascii(c);
        const unsigned char fd = upper_ascii(d);
        if (fc == fd) continue;  // differs in case only: decided below
        return {fc < fd ? -1 : 1, certain_place(c) && certain_place(d)};
    }
    if (x.size() != y.size()) {
        const auto next = static_cast<unsigned char>(x.size() < y.size() ? y[n] : x[n]);
        return {x.size() < y.size() ? -1 : 1, certain_place(next)};
    }
    if (exact || x == y || case_insensitive_) return {0, true};
    return {x < y ? -1 : 1, false};
}

KeyOrder::AlphaResult KeyOrder::compare_part(const Part& part, Bytes a, Bytes b) const {
    const std::size_t width = part.descriptor.width();
    const Bytes x = a.subspan(part.offset, width);
    const Bytes y = b.subspan(part.offset, width);
    AlphaResult result;
    if (part.descriptor.type == FieldType::kAlpha)
        result = compare_alpha(x, y);
    else
        result = {sign(std::memcmp(x.data(), y.data(), width)), true};
    if (part.descending) result.order = -result.order;
    return result;
}

int KeyOrder::compare(Bytes a, Bytes b) const {
    for (const Part& part : parts_)
        if (const int order = compare_part(part, a, b).order; order != 0) return order;
    return 0;
}

std::optional<int> KeyOrder::certain_compare(Bytes a, Bytes b) const {
    for (const Part& part : parts_) {
        const AlphaResult result = compare_part(part, a, b);
        if (!result.certain) return std::nullopt;
        if (result.order != 0) return result.order;
    }
    return 0;
}

bool KeyOrder::same_key(Bytes a, Bytes b) const {
    for (const Part& part : parts_) {
        const std::size_t width = part.descriptor.width();
        const Bytes x = a.subspan(part.offset, width);
        const Bytes y = b.subspan(part.offset, width);
        if (part.descriptor.type == FieldType::kAlpha) {
            if (!same_text(decode_alpha(x), decode_alpha(y))) return false;
        } else if (std::memcmp(x.data(), y.data(), width) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace pdx
