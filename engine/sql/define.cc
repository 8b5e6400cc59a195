#include "engine/sql/define.h"

#include <algorithm>

#include "common/text.h"
#include "engine/sql/expression.h"
#include "engine/sql/result_set.h"
#include "engine/sql/select.h"
#include "engine/table/restructure.h"
#include "engine/table/secondary_index.h"
#include "engine/table/table.h"
#include "engine/table/table_name.h"

namespace pdx::sql {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail_at(const std::string& message, SourcePosition position) {
    throw SqlError(message + " (" + describe(position) + ")", position);
}

// The .DB file of a table the statement names, which must exist.
fs::path existing_table(const fs::path& directory, const TableRef& ref) {
    check_table_name(ref.name);
    const auto file = find_table_file(directory, ref.name);
    if (!file) fail_at("Table does not exist: " + missing_table_name(ref.name), ref.position);
    return *file;
}

FieldType field_type(const ColumnDef& column) {
    if (column.identity) return FieldType::kAutoInc;
    switch (column.type) {
        case ColumnType::kChar:
            return FieldType::kAlpha;
        case ColumnType::kSmallInt:
            return FieldType::kShort;
        case ColumnType::kInteger:
            return FieldType::kLong;
        case ColumnType::kAutoInc:
            return FieldType::kAutoInc;
        case ColumnType::kBoolean:
            return FieldType::kLogical;
        case ColumnType::kDate:
            return FieldType::kDate;
        case ColumnType::kTime:
            return FieldType::kTime;
        case ColumnType::kTimestamp:
            return FieldType::kTimestamp;
        case ColumnType::kFloat:
            return FieldType::kNumber;
        case ColumnType::kMoney:
            return FieldType::kMoney;
        case ColumnType::kBcd:
            return FieldType::kBcd;
        case ColumnType::kMemo:
            return FieldType::kMemo;
        case ColumnType::kBlob:
            return FieldType::kBlob;
        case ColumnType::kFmtMemo:
            return FieldType::kFmtMemo;
        case ColumnType::kOle:
            return FieldType::kOle;
        case ColumnType::kGraphic:
            return FieldType::kGraphic;
        case ColumnType::kBytes:
            return FieldType::kBytes;
    }
    return FieldType::kAlpha;
}

// The table numbers an IDENTITY column from 1 upwards, one by one.
void check_identity(const ColumnDef& column) {
    if (!column.identity) return;
    if (column.type != ColumnType::kInteger && column.type != ColumnType::kAutoInc)
        fail_at("An IDENTITY column must be an integer: " + column.name.text, column.name.position);
    if (column.identity->seed != 1 || column.identity->increment != 1)
        fail_at("The table numbers IDENTITY column " + column.name.text +
                    " from 1 upwards by 1; write IDENTITY(1,1)",
                column.name.position);
}

std::optional<std::size_t> find_planned_field(const std::vector<RestructureField>& fields,
                                              std::string_view name) {
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (vaq::iequals(fields[i].spec.name, name)) return i;
    return std::nullopt;
}

void add_column(RestructurePlan& plan, const ColumnDef& column, const std::string& table) {
    check_identity(column);
    if (find_planned_field(plan.fields, column.name.text))
        fail_at("Field already exists: " + column.name.text + " in " + table, column.name.position);
    RestructureField field{field_spec(column), std::nullopt};
    if (!column.primary_key) {
        plan.fields.push_back(std::move(field));
        return;
    }
    // Key fields lead the record, so a new primary key is placed first.
    if (plan.key_fields > 0)
        fail_at(table + " already has a primary key; " + column.name.text +
                    " cannot become a second one",
                column.name.position);
    plan.fields.insert(plan.fields.begin(), std::move(field));
    plan.key_fields = 1;
}

void drop_column(RestructurePlan& plan, const Name& column, const std::string& table) {
    const auto index = find_planned_field(plan.fields, column.text);
    if (!index) fail_at("Field not found: " + column.text + " in " + table, column.position);
    if (plan.fields.size() == 1)
        fail_at("Cannot drop " + column.text + ", the last field of " + table, column.position);
    // Without one of its fields the primary key is no key any more.
    if (*index < plan.key_fields) plan.key_fields = 0;
    plan.fields.erase(plan.fields.begin() + static_cast<std::ptrdiff_t>(*index));
}

}  // namespace

FieldSpec field_spec(const ColumnDef& column) {
    return FieldSpec{column.name.text, field_type(column), column.size};
}

void run_create_table(const fs::path& directory, const CreateTable& create,
                      const CreateOptions& options) {
    check_table_name(create.table.name);
    if (const auto file = find_table_file(directory, create.table.name))
        fail_at("Table already exists: " + file->filename().string(), create.table.position);
    const std::string table = missing_table_name(create.table.name);

    TableSpec spec;
    std::vector<std::size_t> key;
    for (const ColumnDef& column : create.columns) {
        check_identity(column);
        for (const FieldSpec& field : spec.fields)
            if (vaq::iequals(field.name, column.name.text))
                fail_at("Field already exists: " + column.name.text + " in " + table,
                        column.name.position);
        if (column.primary_key) key.push_back(spec.fields.size());
        spec.fields.push_back(field_spec(column));
    }
    for (const Name& name : create.primary_key) {
        const auto at =
            std::find_if(spec.fields.begin(), spec.fields.end(),
                         [&](const FieldSpec& f) { return vaq::iequals(f.name, name.text); });
        if (at == spec.fields.end())
            fail_at("Field not found: " + name.text + " in " + table, name.position);
        const auto index = static_cast<std::size_t>(at - spec.fields.begin());
        if (std::find(key.begin(), key.end(), index) != key.end())
            fail_at("Field " + name.text + " is named twice in the primary key of " + table,
                    name.position);
        key.push_back(index);
    }
    // The format keeps the key fields at the front of the record.
    for (std::size_t index : key) {
        if (index >= key.size()) {
            const Name& where = create.columns[index].name;
            fail_at("The primary key of " + table + " must be made of its first columns, but " +
                        where.text + " is column " + std::to_string(index + 1),
                    where.position);
        }
    }
    spec.key_fields = key.size();
    create_table(directory, create.table.name, spec, options);
}

void run_alter_table(const fs::path& directory, const AlterTable& alter) {
    const fs::path file = existing_table(directory, alter.table);
    RestructurePlan plan;
    std::string name;
    {
        const std::shared_ptr<Table> table = Table::open_file(file);
        plan = current_layout(*table);
        name = table->name();
    }
    for (const AlterAction& action : alter.actions) {
        if (const auto* add = std::get_if<AddColumn>(&action))
            add_column(plan, add->column, name);
        else
            drop_column(plan, std::get<DropColumn>(action).column, name);
    }
    release_results(file);
    restructure_table(directory, name, plan);
}

void run_drop_table(const fs::path& directory, const DropTable& drop) {
    const fs::path file = existing_table(directory, drop.table);
    release_results(file);
    delete_table(directory, file.filename().string());
}

void run_create_index(const fs::path& directory, const CreateIndex& create) {
    const fs::path file = existing_table(directory, create.table);
    if (create.unique)
        fail_at("UNIQUE secondary indexes are not supported; index " + create.name.text +
                    " would be one",
                create.name.position);
    SecondaryIndexRequest request{create.name.text, {}, false, create.descending};
    {
        const std::shared_ptr<Table> table = Table::open_file(file);
        const Scope scope{table.get(), create.table.name, {}};
        for (const Name& column : create.columns)
            request.fields.push_back(table->schema()[resolve_column(scope, column)].name);
    }
    create_secondary_index(directory, file.filename().string(), request);
}

void run_drop_index(const fs::path& directory, const DropIndex& drop) {
    const fs::path file = existing_table(directory, drop.table);
    delete_secondary_index(directory, file.filename().string(), drop.name.text);
}

}  // namespace pdx::sql
