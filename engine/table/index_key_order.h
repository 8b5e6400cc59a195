#pragma once

// The order in which an index keeps records: field by field, each ascending or descending.
//
// Numbers, dates, times, logicals, BCD and bytes are stored so that comparing their bytes
// gives their order, and NULL (all zeros) comes first. Alpha text follows the table's sort
// order (language driver). For the byte-order drivers ('ascii' and its ANSI form) that is
// the byte order of the code page. The collation of the other drivers ('intl', ANSIINTL,
// ...) is not published; here it is approximated by comparing without letter case first
// and then by bytes. Case-insensitive indexes compare without letter case under any driver;
// they store their alpha keys in upper case.
//
// Because of that approximation there are two comparisons: compare() is a total order used
// to sort records ourselves, and certain_compare() answers only where the order is beyond
// doubt, so that checking an order written by another engine never reports a false fault.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/coding.h"
#include "engine/format/field_type.h"

namespace pdx {

class TableHeader;

enum class AlphaCollation {
    kBytes,       // byte order of the code page
    kDictionary,  // approximated: letter case ignored first, then bytes
};

// The collation of a table's alpha keys, from its sort-order id (level >= 4) or its sort
// order byte (level 3, where 0 is 'ascii').
AlphaCollation alpha_collation_of(const TableHeader& header);

class KeyOrder {
  public:
    struct Part {
        std::size_t offset = 0;  // first byte of the field in the records compared
        FieldDescriptor descriptor;
        bool descending = false;
    };

    // Alpha text in the table's code page without letter case, for letters beyond ASCII.
    using TextFolder = std::function<std::string(std::string_view)>;

    KeyOrder(std::vector<Part> parts, AlphaCollation collation, bool case_insensitive,
             TextFolder folder = {});

    // Negative, zero or positive as `a` sorts before, with or after `b`.
    int compare(Bytes a, Bytes b) const;
    // The same where the order is established; nothing where it rests on the approximated
    // collation.
    std::optional<int> certain_compare(Bytes a, Bytes b) const;
    // True when the key fields hold the same values (letter case ignored when the order is
    // case-insensitive). Alpha bytes after the text's end do not count.
    bool same_key(Bytes a, Bytes b) const;

    const std::vector<Part>& parts() const { return parts_; }

  private:
    struct AlphaResult {
        int order = 0;
        bool certain = true;
    };
    AlphaResult compare_alpha(Bytes a, Bytes b) const;
    AlphaResult compare_part(const Part& part, Bytes a, Bytes b) const;
    bool same_text(std::string_view a, std::string_view b) const;

    std::vector<Part> parts_;
    AlphaCollation collation_;
    bool case_insensitive_;
    TextFolder folder_;
};

}  // namespace pdx
