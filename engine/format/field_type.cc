#include "engine/format/field_type.h"

namespace pdx {

bool is_known_field_type(std::uint8_t code) {
    switch (code) {
        case 0x01:
        case 0x02:
        case 0x03:
        case 0x04:
        case 0x05:
        case 0x06:
        case 0x09:
        case 0x0C:
        case 0x0D:
        case 0x0E:
        case 0x0F:
        case 0x10:
        case 0x14:
        case 0x15:
        case 0x16:
        case 0x17:
        case 0x18:
            return true;
        default:
            return false;
    }
}

bool is_blob_type(FieldType type) {
    switch (type) {
        case FieldType::kMemo:
        case FieldType::kBlob:
        case FieldType::kFmtMemo:
        case FieldType::kOle:
        case FieldType::kGraphic:
            return true;
        default:
            return false;
    }
}

bool is_integer_type(FieldType type) {
    return type == FieldType::kShort || type == FieldType::kLong || type == FieldType::kAutoInc;
}

bool is_float_type(FieldType type) {
    return type == FieldType::kNumber || type == FieldType::kMoney;
}

char field_type_letter(FieldType type) {
    switch (type) {
        case FieldType::kAlpha:
            return 'A';
        case FieldType::kDate:
            return 'D';
        case FieldType::kShort:
            return 'S';
        case FieldType::kLong:
            return 'I';
        case FieldType::kMoney:
            return '$';
        case FieldType::kNumber:
            return 'N';
        case FieldType::kLogical:
            return 'L';
        case FieldType::kMemo:
            return 'M';
        case FieldType::kBlob:
            return 'B';
        case FieldType::kFmtMemo:
            return 'F';
        case FieldType::kOle:
            return 'O';
        case FieldType::kGraphic:
            return 'G';
        case FieldType::kTime:
            return 'T';
        case FieldType::kTimestamp:
            return '@';
        case FieldType::kAutoInc:
            return '+';
        case FieldType::kBcd:
            return '#';
        case FieldType::kBytes:
            return 'Y';
    }
    return '?';
}

int field_type_min_level(FieldType type) {
    switch (type) {
        case FieldType::kAlpha:
        case FieldType::kDate:
        case FieldType::kShort:
        case FieldType::kMoney:
        case FieldType::kNumber:
            return 3;
        case FieldType::kMemo:
        case FieldType::kBlob:
        case FieldType::kFmtMemo:
        case FieldType::kOle:
        case FieldType::kGraphic:
            return 4;
        default:
            return 5;
    }
}

std::optional<std::size_t> fixed_field_width(FieldType type) {
    switch (type) {
        case FieldType::kLogical:
            return 1;
        case FieldType::kShort:
            return 2;
        case FieldType::kDate:
        case FieldType::kLong:
        case FieldType::kTime:
        case FieldType::kAutoInc:
            return 4;
        case FieldType::kMoney:
        case FieldType::kNumber:
        case FieldType::kTimestamp:
            return 8;
        default:
            return std::nullopt;
    }
}

std::optional<std::string> FieldDescriptor::problem() const {
    const auto code = static_cast<std::uint8_t>(type);
    if (!is_known_field_type(code)) return "unknown field type code " + std::to_string(code);
    if (auto fixed = fixed_field_width(type)) {
        if (size != *fixed)
            return std::string("a ") + field_type_letter(type) + " field has size " +
                   std::to_string(size) + " instead of " + std::to_string(*fixed);
        return std::nullopt;
    }
    if (type == FieldType::kBcd) {
        if (size > 32) return "a BCD field has " + std::to_string(size) + " decimals (at most 32)";
        return std::nullopt;
    }
    if (is_blob_type(type)) {
        if (size < kBlobPointerSize)
            return "a blob field is " + std::to_string(size) + " bytes wide (at least 10)";
        return std::nullopt;
    }
    if (size == 0) return std::string("a ") + field_type_letter(type) + " field has size 0";
    return std::nullopt;
}

}  // namespace pdx
