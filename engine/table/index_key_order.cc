#include "engine/table/index_key_order.h"

#include <cstring>
#include <string_view>

#include "engine/format/field_codec.h"
#include "engine/format/table_header.h"

namespace pdx {

namespace {

unsigned char fold_ascii(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool is_ascii_alnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int sign(int value) {
    return (value > 0) - (value < 0);
}

bool same_text(std::string_view a, std::string_view b, bool ignore_case) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y && (!ignore_case || fold_ascii(x) != fold_ascii(y))) return false;
    }
    return true;
}

}  // namespace

AlphaCollation alpha_collation_of(const TableHeader& header) {
    std::string id;
    for (char c : header.sort_order_id)
        id += static_cast<char>(fold_ascii(static_cast<unsigned char>(c)));
    if (id.empty())
        return header.sort_order == 0 ? AlphaCollation::kBytes : AlphaCollation::kDictionary;
    // 'ascii' and its ANSI form sort by the code page's bytes.
    if (id == "ascii" || id == "dbwinus0") return AlphaCollation::kBytes;
    return AlphaCollation::kDictionary;
}

KeyOrder::KeyOrder(std::vector<Part> parts, AlphaCollation collation, bool case_insensitive)
    : parts_(std::move(parts)), collation_(collation), case_insensitive_(case_insensitive) {}

// Text ends at its first NUL; a text that is a prefix of the other sorts first.
KeyOrder::AlphaResult KeyOrder::compare_alpha(Bytes a, Bytes b) const {
    const std::string_view x = decode_alpha(a);
    const std::string_view y = decode_alpha(b);
    const bool by_bytes = collation_ == AlphaCollation::kBytes && !case_insensitive_;
    const std::size_t n = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(x[i]);
        const auto d = static_cast<unsigned char>(y[i]);
        if (c == d) continue;
        if (by_bytes) return {c < d ? -1 : 1, true};
        const unsigned char fc = fold_ascii(c);
        const unsigned char fd = fold_ascii(d);
        if (fc == fd) continue;  // differs in case only: decided below
        // Beyond letters and digits the place of a character in these orders (punctuation,
        // accented letters, upper- or lower-case folding) is not established.
        return {fc < fd ? -1 : 1, is_ascii_alnum(c) && is_ascii_alnum(d)};
    }
    if (x.size() != y.size()) {
        // A text that is a prefix of the other sorts first; in a dictionary order only
        // for sure when a letter or digit follows (some punctuation may be ignored there).
        const auto next = static_cast<unsigned char>(x.size() < y.size() ? y[n] : x[n]);
        return {x.size() < y.size() ? -1 : 1, by_bytes || is_ascii_alnum(next)};
    }
    if (by_bytes || x == y) return {0, true};
    if (case_insensitive_) return {0, true};  // equal keys for this index
    // Same letters in different case: dictionary orders put one case first, which one is
    // not known.
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
            if (!same_text(decode_alpha(x), decode_alpha(y), case_insensitive_)) return false;
        } else if (std::memcmp(x.data(), y.data(), width) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace pdx
