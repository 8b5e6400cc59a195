#include "tools/vaqdb/sql_types.h"

namespace vaq::shell {

namespace {

std::string sized(const char* name, std::uint8_t size) {
    return std::string(name) + "(" + std::to_string(size) + ")";
}

}  // namespace

std::string sql_type_name(const pdx::FieldDescriptor& descriptor) {
    using pdx::FieldType;
    switch (descriptor.type) {
        case FieldType::kAlpha:
            return sized("char", descriptor.size);
        case FieldType::kShort:
            return "smallint";
        case FieldType::kLong:
            return "integer";
        case FieldType::kAutoInc:
            return "autoinc";
        case FieldType::kLogical:
            return "boolean";
        case FieldType::kDate:
            return "date";
        case FieldType::kTime:
            return "time";
        case FieldType::kTimestamp:
            return "datetime";
        case FieldType::kNumber:
            return "float";
        case FieldType::kMoney:
            return "money";
        case FieldType::kBcd:
            return sized("bcd", descriptor.size);
        case FieldType::kMemo:
            return sized("memo", descriptor.size);
        case FieldType::kBlob:
            return sized("blob", descriptor.size);
        case FieldType::kFmtMemo:
            return sized("fmtmemo", descriptor.size);
        case FieldType::kOle:
            return sized("ole", descriptor.size);
        case FieldType::kGraphic:
            return sized("graphic", descriptor.size);
        case FieldType::kBytes:
            return sized("bytes", descriptor.size);
    }
    return "unknown(" + std::to_string(static_cast<int>(descriptor.type)) + ")";
}

}  // namespace vaq::shell
