#include "tutil/record_check.h"

#include <bit>
#include <cmath>

#include "engine/format/blob_file.h"
#include "engine/format/calendar.h"

namespace vaq::tutil {

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

// The stored forms of Long, Date, Time and Number fields, read the way the field codec reads
// them (all zeros is NULL). These checks run for every record of a table, so they read the
// bytes themselves rather than go through the codec's optional values.
std::uint32_t stored_long(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

// The value of a Long, Date or Time field that is not NULL.
std::int32_t long_value(std::uint32_t stored) {
    return static_cast<std::int32_t>(stored ^ 0x80000000u);
}

// The value of a Number, Money or Timestamp field that is not NULL: NaN for a pattern no
// writer leaves.
double number_value(std::uint64_t stored) {
    constexpr std::uint64_t kTopBit = 0x8000000000000000ull;
    return std::bit_cast<double>((stored & kTopBit) ? stored & ~kTopBit : ~stored);
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
            const std::uint32_t stored = stored_long(p);
            return stored == 0 ||
                   (long_value(stored) >= 0 && long_value(stored) < pdx::kMillisecondsPerDay);
        }
        case FieldType::kAutoInc: {
            const std::uint32_t stored = stored_long(p);
            return stored == 0 || long_value(stored) >= 1;
        }
        case FieldType::kNumber:
        case FieldType::kMoney:
        case FieldType::kTimestamp: {
            const std::uint64_t stored = pdx::load_u64be(p);
            return stored == 0 || !std::isnan(number_value(stored));
        }
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
            const std::uint32_t stored = stored_long(p);
            if (stored != 0 && odd_day(long_value(stored))) return true;
        } else if (const std::uint64_t stored = pdx::load_u64be(p); stored != 0) {
            const double ms = number_value(stored);
            // Compared as a double: a damaged value can lie far beyond any integer.
            const double day = std::floor(ms / pdx::kMillisecondsPerDay);
            if (!std::isnan(day) && (day < kFirstDay || day > kLastDay)) return true;
        }
    }
    return false;
}

std::int64_t RecordChecker::auto_increment(pdx::Bytes record) const {
    if (!auto_increment_field_) return 0;
    const std::uint32_t stored = stored_long(record.data() + auto_increment_field_->offset);
    return stored == 0 ? 0 : long_value(stored);
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

}  // namespace vaq::tutil
