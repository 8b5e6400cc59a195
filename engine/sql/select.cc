#include "engine/sql/select.h"

#include <algorithm>
#include <numeric>
#include <unordered_set>

#include "engine/sql/expression.h"
#include "engine/sql/printer.h"
#include "engine/table/table.h"
#include "engine/table/table_name.h"
#include "engine/table/text_fold.h"

namespace pdx::sql {

namespace {

bool has_extension(std::string_view name) {
    return name.size() > 3 && same_file_name(name.substr(name.size() - 3), ".db");
}

// The result fields of the select list.
std::vector<ResultField> result_fields(const Select& select, const Scope& scope) {
    std::vector<ResultField> fields;
    const Schema& schema = scope.table->schema();
    if (select.all_columns) {
        for (const Field& field : schema.fields())
            fields.push_back({field.name, field.index, field.descriptor});
        return fields;
    }
    for (const SelectItem& item : select.items) {
        const auto* column = std::get_if<ColumnRef>(&item.expr.node);
        if (column == nullptr) {
            throw SqlError("Only columns can be selected, not " + to_sql(item.expr) + " (" +
                               describe(item.expr.position) + ")",
                           item.expr.position);
        }
        const std::size_t index = resolve_column(scope, *column);
        std::string name = item.alias ? item.alias->text : schema[index].name;
        // A name given twice is told apart as NAME_1, NAME_2 ...
        const std::string base = name;
        for (int n = 1;
             std::any_of(fields.begin(), fields.end(),
                         [&](const ResultField& f) { return equal_ignoring_case(f.name, name); });
             ++n)
            name = base + "_" + std::to_string(n);
        fields.push_back({std::move(name), index, schema[index].descriptor});
    }
    return fields;
}

// ORDER BY names a column of the result (by its name or alias) or of the table.
std::size_t order_field(const OrderItem& item, const Scope& scope,
                        const std::vector<ResultField>& fields) {
    if (item.column.table.empty()) {
        for (const ResultField& field : fields)
            if (equal_ignoring_case(field.name, item.column.column.text)) return field.table_field;
    }
    return resolve_column(scope, item.column);
}

struct Row {
    Bookmark position;
    std::vector<SqlValue> keys;
};

std::vector<Bookmark> ordered(std::vector<Row> rows, const std::vector<bool>& descending) {
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
        for (std::size_t i = 0; i < descending.size(); ++i) {
            const int order = sort_compare(a.keys[i], b.keys[i]);
            if (order != 0) return descending[i] ? order > 0 : order < 0;
        }
        return false;
    });
    std::vector<Bookmark> positions;
    positions.reserve(rows.size());
    for (Row& row : rows)
        positions.push_back(row.position);
    return positions;
}

// Keeps the first of rows whose selected fields hold the same bytes.
std::vector<Bookmark> distinct(std::vector<Bookmark> rows, const Table& table,
                               const std::vector<ResultField>& fields) {
    auto cursor = table.open_cursor();
    std::unordered_set<std::string> seen;
    std::vector<Bookmark> kept;
    for (const Bookmark& position : rows) {
        cursor->go_to(position);
        const Bytes record = cursor->record();
        std::string key;
        for (const ResultField& field : fields) {
            const Field& f = table.schema()[field.table_field];
            key.append(reinterpret_cast<const char*>(record.data() + f.offset), f.width());
        }
        if (seen.insert(std::move(key)).second) kept.push_back(position);
    }
    return kept;
}

}  // namespace

std::string missing_table_name(const std::string& written) {
    return has_extension(written) ? written : written + ".DB";
}

std::shared_ptr<Table> open_table(const std::filesystem::path& directory, const TableRef& table) {
    check_table_name(table.name);
    const auto file = find_table_file(directory, table.name);
    if (!file) {
        throw SqlError("Table does not exist: " + missing_table_name(table.name) + " (" +
                           describe(table.position) + ")",
                       table.position);
    }
    return Table::open_file(*file);
}

namespace {

// SELECT COUNT(*): the records that meet the condition, counted as the table is read; the
// header's count when there is no condition.
std::unique_ptr<ResultSet> run_count(const Table& table, const Select& select, const Scope& scope) {
    std::int64_t count = 0;
    if (select.where) {
        const BoundExpr where = BoundExpr::bind(*select.where, scope);
        for (auto cursor = table.open_cursor(); !cursor->eof(); cursor->next())
            if (where.holds(table, cursor->record())) ++count;
    } else {
        count = table.record_count();
    }
    ResultField field{select.count_alias ? select.count_alias->text : "COUNT(*)", 0,
                      FieldDescriptor{FieldType::kLong, 4}};
    return std::make_unique<ResultSet>(
        table.name(), std::vector<ResultField>{std::move(field)},
        std::vector<std::vector<SqlValue>>{{SqlValue::of_integer(count)}});
}

}  // namespace

std::unique_ptr<ResultSet> run_select(const std::filesystem::path& directory,
                                      const Select& select) {
    std::shared_ptr<Table> table = open_table(directory, select.table);
    Scope scope{table.get(), select.table.name, {}};
    if (select.table_alias) scope.alias = select.table_alias->text;
    if (select.count_all) return run_count(*table, select, scope);
    std::vector<ResultField> fields = result_fields(select, scope);

    std::optional<BoundExpr> where;
    if (select.where) where = BoundExpr::bind(*select.where, scope);
    std::vector<BoundExpr> keys;
    std::vector<bool> descending;
    for (const OrderItem& item : select.order_by) {
        const std::size_t index = order_field(item, scope, fields);
        keys.push_back(BoundExpr::bind(
            Expr{ColumnRef{{}, Name{table->schema()[index].name, item.column.column.position}},
                 item.column.column.position},
            scope));
        descending.push_back(item.descending);
    }
    if (!where && keys.empty() && !select.distinct)
        return std::make_unique<ResultSet>(std::move(table), std::move(fields));

    std::vector<Row> rows;
    auto cursor = table->open_cursor();
    for (; !cursor->eof(); cursor->next()) {
        const Bytes record = cursor->record();
        if (where && !where->holds(*table, record)) continue;
        Row row{cursor->bookmark(), {}};
        for (const BoundExpr& key : keys)
            row.keys.push_back(key.evaluate(*table, record));
        rows.push_back(std::move(row));
    }
    std::vector<Bookmark> positions = ordered(std::move(rows), descending);
    if (select.distinct) positions = distinct(std::move(positions), *table, fields);
    return std::make_unique<ResultSet>(std::move(table), std::move(fields), std::move(positions));
}

}  // namespace pdx::sql
