#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "engine/format/calendar.h"
#include "engine/sql/executor.h"
#include "engine/sql/parser.h"
#include "engine/table/value.h"
#include "tools/vaqdb/commands.h"
#include "tools/vaqdb/output.h"

namespace vaq::shell {

namespace {

// A value of a result in the text form .export gives the same field.
std::string csv_text(const pdx::sql::SqlValue& value) {
    using pdx::sql::ValueKind;
    switch (value.kind) {
        case ValueKind::kNull:
            return {};
        case ValueKind::kInteger:
            return std::to_string(value.integer);
        case ValueKind::kFloat:
            // A BCD field carries its exact decimal.
            return value.text.empty() ? pdx::format_double(value.number) : value.text;
        case ValueKind::kBoolean:
            return value.integer != 0 ? "true" : "false";
        case ValueKind::kText:
            return value.text;
        case ValueKind::kDate:
            return pdx::format_date(pdx::civil_from_day_number(value.integer));
        case ValueKind::kTime:
            return pdx::format_time(value.integer);
        case ValueKind::kTimestamp:
            return pdx::format_timestamp(value.number);
        case ValueKind::kBytes:
            return pdx::format_hex(pdx::Bytes(
                reinterpret_cast<const std::uint8_t*>(value.text.data()), value.text.size()));
    }
    return {};
}

bool is_numeric(pdx::FieldType type) {
    using pdx::FieldType;
    switch (type) {
        case FieldType::kShort:
        case FieldType::kLong:
        case FieldType::kAutoInc:
        case FieldType::kNumber:
        case FieldType::kMoney:
        case FieldType::kBcd:
            return true;
        default:
            return false;
    }
}

}  // namespace

void run_sql(ShellContext& context, std::string_view statement) {
    const pdx::sql::Statement parsed = pdx::sql::parse(statement);
    pdx::sql::Executor executor(context.directory);
    const auto* select = std::get_if<pdx::sql::Select>(&parsed);
    if (select == nullptr) {
        executor.execute(parsed);
        return;
    }
    const auto result = executor.open(*select);
    std::vector<std::string> row;
    std::vector<bool> numeric;
    for (const pdx::sql::ResultField& field : result->fields()) {
        row.push_back(field.name);
        numeric.push_back(is_numeric(field.descriptor.type));
    }
    const std::unique_ptr<RowPrinter> printer = make_row_printer(context);
    printer->begin(row, numeric);
    for (; !result->eof(); result->next()) {
        row.clear();
        for (std::size_t i = 0; i < result->fields().size(); ++i)
            row.push_back(csv_text(result->value(i)));
        printer->row(row);
    }
    printer->end();
}

}  // namespace vaq::shell
