#include "tutil/record_check.h"

#include <cmath>

#include "engine/format/blob_file.h"
#include "engine/format/calendar.h"

namespace tutil {

namespace {

using pdx::FieldType;

// Day numbers of 0100-01-01 and 9999-12-31, the years Paradox accepts.
constexpr std::int32_t kFirstDay = 36'160;
constexpr std::int32_t kLastDay = 3'652'059;
constexpr std::uint8_t kBcdNotNull = 0x40;
constexpr std::uint8_t kBcdDecimals = 0x3F;

bool odd_day(std::int64_t day) {
    return day < kFirstDay || day > kLastDay;
}

std::string quoted(const std::string& name) {
    return "field " + name;
}

}  // namespace

RecordChecker::RecordChecker(const pdx::TableHeader& header) {
    std::size_t offset = 0;
    for (std::size_t i = 0; i < header.fields.size(); ++i) {
        const pdx::FieldDef& f = header.fields[i];
        Check check{i, offset, f.descriptor, f.name};
        offset += f.descriptor.width();
        switch (f.descriptor.type) {
            case FieldType::kLogical:
            case FieldType::kTime:
            case FieldType::kNumber:
            case FieldType::kMoney:
            case FieldType::kBcd:
                checks_.push_back(check);
                break;
            case FieldType::kTimestamp:
                checks_.push_back(check);
                date_fields_.push_back(check);
                break;
            case FieldType::kDate:
                date_fields_.push_back(check);
                break;
            case FieldType::kAutoInc:
                checks_.push_back(check);
                if (!auto_increment_field_) auto_increment_field_ = check;
                break;
            default:
                if (pdx::is_blob_type(f.descriptor.type)) {
                    checks_.push_back(check);
                    blob_fields_.push_back(check);
                }
                break;
        }
    }
}

// The cheap test every record takes; the sentence is only put together for a field that fails
// it (problem_of).
bool RecordChecker::possible(const Check& field, const std::uint8_t* p) const {
    const pdx::FieldDescriptor& d = field.descriptor;
    switch (d.type) {
        case FieldType::kLogical:
            return p[0] == 0 || p[0] == 0x80 || p[0] == 0x81;
        case FieldType::kTime: {
            const auto ms = pdx::decode_long(p);
            return !ms || (*ms >= 0 && *ms < pdx::kMillisecondsPerDay);
        }
        case FieldType::kAutoInc: {
            const auto value = pdx::decode_long(p);
            return !value || *value >= 1;
        }
        case FieldType::kNumber:
        case FieldType::kMoney:
        case FieldType::kTimestamp:
            return pdx::decode_double(p).has_value() || pdx::all_zero(pdx::Bytes(p, 8));
        case FieldType::kBcd:
            return !(p[0] & kBcdNotNull) || (p[0] & kBcdDecimals) == d.bcd_decimals();
        default:
            break;
    }
    const std::size_t leader = d.blob_leader();
    const pdx::BlobPointer ptr = pdx::BlobPointer::decode(p + leader);
    if (ptr.length == 0) return ptr.block_offset == 0 && ptr.modification == 0;
    if (ptr.length <= leader) return ptr.block_offset == 0;
    return ptr.block_offset != 0 && ptr.block_offset % pdx::kBlobUnit == 0 &&
           (ptr.slot == pdx::BlobPointer::kWholeBlock || ptr.slot < 64);
}

std::optional<std::string> RecordChecker::problem_of(const Check& field,
                                                     const std::uint8_t* p) const {
    const pdx::FieldDescriptor& d = field.descriptor;
    switch (d.type) {
        case FieldType::kLogical:
            if (p[0] != 0 && p[0] != 0x80 && p[0] != 0x81)
                return quoted(field.name) + " holds the logical byte " + std::to_string(p[0]);
            return std::nullopt;
        case FieldType::kTime: {
            const auto ms = pdx::decode_long(p);
            if (ms && (*ms < 0 || *ms >= pdx::kMillisecondsPerDay))
                return quoted(field.name) + " holds the time " + std::to_string(*ms) +
                       " ms, outside a day";
            return std::nullopt;
        }
        case FieldType::kAutoInc: {
            const auto value = pdx::decode_long(p);
            if (value && *value < 1)
                return quoted(field.name) + " holds the auto-increment value " +
                       std::to_string(*value);
            return std::nullopt;
        }
        case FieldType::kNumber:
        case FieldType::kMoney:
        case FieldType::kTimestamp:
            if (!pdx::all_zero(pdx::Bytes(p, 8)) && !pdx::decode_double(p))
                return quoted(field.name) + " holds no number";
            return std::nullopt;
        case FieldType::kBcd:
            if ((p[0] & kBcdNotNull) && (p[0] & kBcdDecimals) != d.bcd_decimals())
                return quoted(field.name) + " holds a decimal with " +
                       std::to_string(p[0] & kBcdDecimals) + " places instead of " +
                       std::to_string(d.bcd_decimals());
            return std::nullopt;
        default:
            break;
    }
    // Blob fields: the pointer must be one a writer can leave.
    const std::size_t leader = d.blob_leader();
    const pdx::BlobPointer ptr = pdx::BlobPointer::decode(p + leader);
    if (ptr.length == 0) {
        if (ptr.block_offset != 0 || ptr.modification != 0)
            return quoted(field.name) + " is empty but points into the blob file";
    } else if (ptr.length <= leader) {
        if (ptr.block_offset != 0)
            return quoted(field.name) + " fits in the record but points into the blob file";
    } else if (ptr.block_offset == 0 || ptr.block_offset % pdx::kBlobUnit != 0 ||
               (ptr.slot != pdx::BlobPointer::kWholeBlock && ptr.slot >= 64)) {
        return quoted(field.name) + " points at offset " + std::to_string(ptr.block_offset) +
               " slot " + std::to_string(ptr.slot) + ", where no value can be";
    }
    return std::nullopt;
}

std::optional<std::string> RecordChecker::problem(pdx::Bytes record) const {
    for (const Check& check : checks_) {
        const std::uint8_t* p = record.data() + check.offset;
        if (possible(check, p)) continue;
        if (auto problem = problem_of(check, p)) return problem;
        return quoted(check.name) + " holds an impossible value";
    }
    return std::nullopt;
}

bool RecordChecker::has_odd_date(pdx::Bytes record) const {
    for (const Check& check : date_fields_) {
        const std::uint8_t* p = record.data() + check.offset;
        if (check.descriptor.type == FieldType::kDate) {
            if (auto day = pdx::decode_long(p); day && odd_day(*day)) return true;
        } else if (auto ms = pdx::decode_double(p)) {
            if (odd_day(static_cast<std::int64_t>(std::floor(*ms / pdx::kMillisecondsPerDay))))
                return true;
        }
    }
    return false;
}

std::int64_t RecordChecker::auto_increment(pdx::Bytes record) const {
    if (!auto_increment_field_) return 0;
    return pdx::decode_long(record.data() + auto_increment_field_->offset).value_or(0);
}

void RecordChecker::collect_blob_references(pdx::Bytes record, std::uint32_t block,
                                            std::uint32_t slot,
                                            std::vector<BlobReference>& out) const {
    for (const Check& check : blob_fields_) {
        const std::size_t leader = check.descriptor.blob_leader();
        const pdx::BlobPointer ptr =
            pdx::BlobPointer::decode(record.data() + check.offset + leader);
        if (ptr.length > leader)
            out.push_back({block, slot, static_cast<std::uint16_t>(check.index), ptr});
    }
}

}  // namespace tutil
