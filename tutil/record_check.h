#pragma once

// Checks of one record's field values against what the format allows. A record that fails
// is damaged ("garbage"): no writer of the format produces it. Values that are merely odd
// (a date outside the years 100 to 9999) are counted as notes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/coding.h"
#include "engine/format/field_codec.h"
#include "engine/format/table_header.h"

namespace vaq::tutil {

// A blob field whose value lives in the .MB file.
struct BlobReference {
    std::uint32_t block = 0;  // data block of the record
    std::uint32_t slot = 0;   // 0-based record slot
    std::uint16_t field = 0;  // 0-based field index
    pdx::BlobPointer pointer;
};

class RecordChecker {
  public:
    explicit RecordChecker(const pdx::TableHeader& header);

    // The first fault of the record, as a sentence naming the field; nothing when its values
    // are all possible.
    std::optional<std::string> problem(pdx::Bytes record) const;
    // True when a date or timestamp of the record lies outside the years 100 to 9999.
    bool has_odd_date(pdx::Bytes record) const;
    // The largest auto-increment value of the record (0 when it has none or it is NULL).
    std::int64_t auto_increment(pdx::Bytes record) const;
    bool has_auto_increment() const { return auto_increment_field_.has_value(); }
    // Appends the record's references into the .MB (values longer than their leader).
    void collect_blob_references(pdx::Bytes record, std::uint32_t block, std::uint32_t slot,
                                 std::vector<BlobReference>& out) const;
    bool has_blobs() const { return !blob_fields_.empty(); }

  private:
    struct Check {
        std::size_t index = 0;
        std::size_t offset = 0;
        pdx::FieldDescriptor descriptor;
        std::string name;
    };

    bool possible(const Check& field, const std::uint8_t* p) const;
    std::optional<std::string> problem_of(const Check& field, const std::uint8_t* p) const;

    std::vector<Check> checks_;
    std::vector<Check> date_fields_;
    std::vector<Check> blob_fields_;
    std::optional<Check> auto_increment_field_;
};

}  // namespace vaq::tutil
