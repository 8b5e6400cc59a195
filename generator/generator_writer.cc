#include "generator/generator_writer.h"

#include <string>
#include <vector>

#include "common/datetime.h"
#include "common/error.h"
#include "engine/format/field_codec.h"
#include "engine/table/edit_buffer.h"
#include "engine/table/secondary_index.h"
#include "engine/table/table.h"
#include "engine/table/table_admin.h"
#include "engine/table/table_writer.h"

namespace vaq::bench {

namespace {

// Dates and times go into the record as the day number and the milliseconds they are
// stored as; everything else as the engine takes values from outside.
bool set_directly(pdx::EditBuffer& record, std::size_t field, const Cell& cell) {
    if (const Date* d = std::get_if<Date>(&cell)) {
        pdx::encode_long(to_day_number(*d), record.record().field_bytes(field).data());
        return true;
    }
    if (const Time* t = std::get_if<Time>(&cell)) {
        pdx::encode_long(to_milliseconds(*t), record.record().field_bytes(field).data());
        return true;
    }
    return false;
}

pdx::FieldInput input_of(const Cell& cell) {
    struct Visitor {
        pdx::FieldInput operator()(std::monostate) const { return std::monostate{}; }
        pdx::FieldInput operator()(std::int64_t v) const { return v; }
        pdx::FieldInput operator()(double v) const { return v; }
        pdx::FieldInput operator()(bool v) const { return v; }
        pdx::FieldInput operator()(const std::string& v) const { return v; }
        pdx::FieldInput operator()(const Date&) const { return std::monostate{}; }
        pdx::FieldInput operator()(const Time&) const { return std::monostate{}; }
    };
    return std::visit(Visitor{}, cell);
}

pdx::TableSpec spec_of(const TableDef& def) {
    pdx::TableSpec spec;
    for (const ColumnDef& column : def.columns) {
        spec.fields.push_back({std::string(column.name), column.type,
                               column.type == pdx::FieldType::kAlpha ? column.size : 0});
    }
    spec.key_fields = def.keyFields;
    return spec;
}

}  // namespace

// Rows stored in one change of the table: the journal and the header are written once for
// all of them.
constexpr std::size_t kBatchRows = 512;

struct TableWriter::State {
    const TableDef& def;
    std::shared_ptr<pdx::Table> table;
    std::int64_t appended = 0;
    std::vector<pdx::EditBuffer> pending;

    void store_pending() {
        std::size_t stored = 0;
        table->writer().insert_all(pending, stored);
        appended += static_cast<std::int64_t>(stored);
        pending.clear();
    }
};

TableWriter::TableWriter(const std::filesystem::path& folder, const TableDef& def) {
    const std::filesystem::path file = pdx::create_table(folder, def.file, spec_of(def));
    auto table = pdx::Table::open_file(file, pdx::Access::kWrite);
    state_ = std::make_unique<State>(State{def, std::move(table), 0, {}});
    state_->pending.reserve(kBatchRows);
}

TableWriter::~TableWriter() = default;

void TableWriter::append(const Row& row) {
    const TableDef& def = state_->def;
    if (row.size() != def.columns.size()) {
        throw Error("A row for " + std::string(def.file) + " has " + std::to_string(row.size()) +
                    " values for " + std::to_string(def.columns.size()) + " fields");
    }
    pdx::EditBuffer record = pdx::EditBuffer::blank(state_->table);
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (std::holds_alternative<std::monostate>(row[i]) || set_directly(record, i, row[i])) {
            continue;
        }
        record.set(i, input_of(row[i]));
    }
    state_->pending.push_back(std::move(record));
    if (state_->pending.size() == kBatchRows) state_->store_pending();
}

// The secondary indexes are made once the rows are in: one pass over the table.
std::int64_t TableWriter::finish() {
    state_->store_pending();
    pdx::Table& table = *state_->table;
    for (const IndexDef& index : state_->def.indexes) {
        pdx::create_secondary_index(
            table, {std::string(index.name), {std::string(index.column)}, index.caseInsensitive});
    }
    table.writer().flush();
    state_->table.reset();
    return state_->appended;
}

void write_table(const std::filesystem::path& folder, std::string_view file,
                 const std::vector<NamedRow>& rows) {
    const TableDef& def = table_layout(file);
    TableWriter writer(folder, def);
    for (const NamedRow& named : rows) {
        Row row(def.columns.size());
        for (const auto& [name, cell] : named)
            row[def.column(name)] = cell;
        writer.append(row);
    }
    writer.finish();
}

}  // namespace vaq::bench
