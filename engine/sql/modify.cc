#include "engine/sql/modify.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <optional>
#include <vector>

#include "common/error.h"
#include "engine/sql/expression.h"
#include "engine/sql/field_conversion.h"
#include "engine/sql/result_set.h"
#include "engine/sql/select.h"
#include "engine/table/edit_buffer.h"
#include "engine/table/index_cursor.h"
#include "engine/table/index_key_order.h"
#include "engine/table/table.h"
#include "engine/table/table_name.h"
#include "engine/table/table_writer.h"

namespace pdx::sql {

namespace {

using Bytes8 = std::vector<std::uint8_t>;

// The table a statement changes, opened for writing. A missing table is reported at its
// place in the statement.
std::shared_ptr<Table> open_for_writing(const std::filesystem::path& directory,
                                        const TableRef& ref) {
    check_table_name(ref.name);
    const auto file = find_table_file(directory, ref.name);
    if (!file) {
        throw SqlError("Table does not exist: " + missing_table_name(ref.name) + " (" +
                           describe(ref.position) + ")",
                       ref.position);
    }
    return Table::open_file(*file, Access::kWrite);
}

// Stores a value into a field; a refusal names its place in the statement.
void store_at(EditBuffer& buffer, std::size_t field, const SqlValue& value, SourcePosition position,
              const std::string& row) {
    try {
        store_value(buffer, field, value);
    } catch (const SqlError& error) {
        const std::string where =
            row.empty() ? describe(position) : row + ", " + describe(position);
        throw SqlError(std::string(error.what()) + " (" + where + ")", position);
    } catch (const vaq::Error& error) {
        std::string message = error.what();
        if (!message.empty() && message.back() == '.') message.pop_back();
        throw SqlError(message + " (" + describe(position) + ")", position);
    }
}

// The columns an INSERT or UPDATE names, each once.
std::vector<std::size_t> resolve_columns(const Scope& scope, const std::vector<Name>& names) {
    std::vector<std::size_t> fields;
    for (const Name& name : names) {
        const std::size_t field = resolve_column(scope, name);
        if (std::find(fields.begin(), fields.end(), field) != fields.end()) {
            throw SqlError("Field " + scope.table->schema()[field].name + " of " +
                               scope.table->name() + " is named twice (" + describe(name.position) +
                               ")",
                           name.position);
        }
        fields.push_back(field);
    }
    return fields;
}

// ---- the primary key as it will be ----

class PrimaryKey {
  public:
    explicit PrimaryKey(const Table& table) : order_(key_order(table)) {
        const Schema& schema = table.schema();
        for (std::size_t i = 0; i < schema.key_fields(); ++i) {
            length_ += schema[i].width();
            if (schema[i].type() == FieldType::kAutoInc) auto_fields_.push_back(i);
        }
    }

    bool exists() const { return length_ > 0; }
    Bytes key(Bytes record) const { return record.first(length_); }
    // A new record whose key holds an empty auto-increment field is numbered by the table
    // and cannot take a key that exists.
    bool numbered_by_table(const Record& record) const {
        return std::any_of(auto_fields_.begin(), auto_fields_.end(),
                           [&](std::size_t field) { return record.value(field).is_null(); });
    }

    // Throws "Key violation in T." when two of the keys are the same.
    void check_unique(std::vector<Bytes8> keys, const Table& table) const {
        std::sort(keys.begin(), keys.end(),
                  [&](const Bytes8& a, const Bytes8& b) { return order_->compare(a, b) < 0; });
        for (std::size_t i = 1; i < keys.size(); ++i)
            if (order_->same_key(keys[i - 1], keys[i]))
                throw vaq::Error("Key violation in " + table.name() + ".");
    }

  private:
    static std::optional<KeyOrder> key_order(const Table& table) {
        const Schema& schema = table.schema();
        if (schema.key_fields() == 0) return std::nullopt;
        std::vector<KeyOrder::Part> parts;
        for (std::size_t i = 0; i < schema.key_fields(); ++i)
            parts.push_back({schema[i].offset, schema[i].descriptor, false});
        return KeyOrder(std::move(parts), alpha_collation_of(table.header()), false);
    }

    std::optional<KeyOrder> order_;
    std::size_t length_ = 0;
    std::vector<std::size_t> auto_fields_;
};

// A stored record to change or delete, with what the writer needs to find it.
struct Target {
    Bytes8 bytes;
    RecordPosition position;
    std::uint32_t number = 0;
    // The values of the blob fields a change gives up, to put them back when undoing it.
    std::map<std::size_t, Bytes8> blobs;

    RecordRef ref() const { return RecordRef{bytes, position, number}; }

    // The record as it was, blob values included.
    EditBuffer original(const std::shared_ptr<Table>& table) const {
        EditBuffer record = EditBuffer::of(table, bytes);
        for (const auto& [field, value] : blobs)
            record.set_bytes(field, value);
        return record;
    }
};

// Keeps the values of the blob fields among `fields` that the record holds.
void keep_blobs(const Table& table, Target& target, const std::vector<std::size_t>& fields) {
    for (std::size_t index : fields) {
        const Field& field = table.schema()[index];
        if (!is_blob_type(field.type())) continue;
        const Value value(table, field, Bytes(target.bytes).subspan(field.offset, field.width()));
        if (!value.is_null()) target.blobs[index] = value.blob();
    }
}

// The records of `table` in table order that meet `where` (all when there is none).
std::vector<Target> matching_records(const Table& table, const std::optional<BoundExpr>& where) {
    std::vector<Target> targets;
    for (auto cursor = table.open_cursor(); !cursor->eof(); cursor->next()) {
        const Bytes record = cursor->record();
        if (where && !where->holds(table, record)) continue;
        const Bookmark mark = cursor->bookmark();
        targets.push_back({Bytes8(record.begin(), record.end()),
                           {mark.block, mark.slot},
                           mark.record_number,
                           {}});
    }
    return targets;
}

Bytes8 stored_bytes(const Table& table, RecordPosition position) {
    DataBlockCache blocks(table);
    const Bytes record = blocks.record(position);
    return Bytes8(record.begin(), record.end());
}

// Passes on the error of a failed write after `undo` put back what the statement wrote.
template <typename Undo>
[[noreturn]] void undo_and_rethrow(const Table& table, Undo&& undo) {
    try {
        undo();
    } catch (const vaq::Error& undo_error) {
        try {
            throw;
        } catch (const vaq::Error& error) {
            throw vaq::Error(std::string(error.what()) + " Putting back what the statement had " +
                             "written to " + table.name() + " failed too: " + undo_error.what());
        }
    }
    throw;
}

// ---- INSERT ----

struct InsertRows {
    std::vector<std::size_t> fields;
    std::vector<EditBuffer> records;
};

InsertRows rows_of_values(const std::shared_ptr<Table>& table, const Scope& scope,
                          const Insert& insert, std::vector<std::size_t> fields) {
    InsertRows rows{std::move(fields), {}};
    for (std::size_t r = 0; r < insert.rows.size(); ++r) {
        const std::vector<Expr>& values = insert.rows[r];
        if (values.size() != rows.fields.size()) {
            const SourcePosition at = values.empty() ? insert.table.position : values[0].position;
            throw SqlError("INSERT into " + table->name() + " gives " +
                               std::to_string(values.size()) + " values for " +
                               std::to_string(rows.fields.size()) + " columns (" + describe(at) +
                               ")",
                           at);
        }
        EditBuffer record = EditBuffer::blank(table);
        for (std::size_t i = 0; i < values.size(); ++i) {
            const BoundExpr value = BoundExpr::bind(values[i], scope);
            if (!value.is_constant()) {
                throw SqlError(
                    "A value of INSERT cannot name a column (" + describe(values[i].position) + ")",
                    values[i].position);
            }
            SqlValue constant;
            try {
                constant = value.evaluate(*table, {});
            } catch (const SqlError& error) {
                rethrow_at(error, values[i].position);
            }
            store_at(record, rows.fields[i], constant, values[i].position,
                     insert.rows.size() > 1 ? "row " + std::to_string(r + 1) : "");
        }
        rows.records.push_back(std::move(record));
    }
    return rows;
}

InsertRows rows_of_select(const std::filesystem::path& directory,
                          const std::shared_ptr<Table>& table, const Insert& insert,
                          std::vector<std::size_t> fields) {
    const Select& select = *insert.select;
    // Every source row is read before the first is written, so that a select from the
    // table itself sees it as it was.
    std::unique_ptr<ResultSet> source = run_select(directory, select);
    if (source->fields().size() != fields.size()) {
        throw SqlError("INSERT into " + table->name() + " names " + std::to_string(fields.size()) +
                           " columns but its SELECT gives " +
                           std::to_string(source->fields().size()) + " (" +
                           describe(select.table.position) + ")",
                       select.table.position);
    }
    InsertRows rows{std::move(fields), {}};
    for (std::uint32_t row = 1; !source->eof(); source->next(), ++row) {
        EditBuffer record = EditBuffer::blank(table);
        for (std::size_t i = 0; i < rows.fields.size(); ++i) {
            const SourcePosition at =
                select.all_columns ? select.table.position : select.items[i].expr.position;
            store_at(record, rows.fields[i], source->value(i), at,
                     "row " + std::to_string(row) + " of the SELECT");
        }
        rows.records.push_back(std::move(record));
    }
    return rows;
}

void check_new_keys(const Table& table, const std::vector<EditBuffer>& records) {
    const PrimaryKey key(table);
    // A single record is checked by the writer itself before anything is written.
    if (!key.exists() || records.size() < 2) return;
    std::vector<Bytes8> keys;
    for (const EditBuffer& record : records) {
        if (key.numbered_by_table(record.record())) continue;
        const Bytes k = key.key(record.record().bytes());
        keys.emplace_back(k.begin(), k.end());
    }
    if (keys.empty()) return;
    for (auto cursor = table.open_cursor(); !cursor->eof(); cursor->next()) {
        const Bytes k = key.key(cursor->record());
        keys.emplace_back(k.begin(), k.end());
    }
    key.check_unique(std::move(keys), table);
}

}  // namespace

std::uint64_t run_insert(const std::filesystem::path& directory, const Insert& insert) {
    const std::shared_ptr<Table> table = open_for_writing(directory, insert.table);
    const Scope scope{table.get(), insert.table.name, {}};
    std::vector<std::size_t> fields;
    if (insert.columns.empty()) {
        for (std::size_t i = 0; i < table->schema().size(); ++i)
            fields.push_back(i);
    } else {
        fields = resolve_columns(scope, insert.columns);
    }
    InsertRows rows = insert.select ? rows_of_select(directory, table, insert, std::move(fields))
                                    : rows_of_values(table, scope, insert, std::move(fields));
    check_new_keys(*table, rows.records);

    TableWriter& writer = table->writer();
    TableWriter::Statement statement(writer);
    std::vector<RecordPosition> written;
    try {
        std::size_t stored = 0;
        writer.insert_all(rows.records, stored, &written);
        statement.finish();
    } catch (const vaq::Error&) {
        undo_and_rethrow(*table, [&] {
            // Newest first, so that the places of the older ones still hold.
            for (auto at = written.rbegin(); at != written.rend(); ++at) {
                const Bytes8 bytes = stored_bytes(*table, *at);
                writer.remove(RecordRef{bytes, *at, 0});
            }
            statement.finish();
        });
    }
    return rows.records.size();
}

std::uint64_t run_update(const std::filesystem::path& directory, const Update& update) {
    const std::shared_ptr<Table> table = open_for_writing(directory, update.table);
    const Scope scope{table.get(), update.table.name, {}};
    std::vector<Name> names;
    for (const Assignment& assignment : update.assignments)
        names.push_back(assignment.column);
    const std::vector<std::size_t> fields = resolve_columns(scope, names);
    std::vector<BoundExpr> values;
    for (const Assignment& assignment : update.assignments)
        values.push_back(BoundExpr::bind(assignment.value, scope));
    std::optional<BoundExpr> where;
    if (update.where) where = BoundExpr::bind(*update.where, scope);

    // Every new record is made, from the record as it was, before the first is written.
    std::vector<Target> targets = matching_records(*table, where);
    for (Target& target : targets)
        keep_blobs(*table, target, fields);
    std::vector<EditBuffer> records;
    records.reserve(targets.size());
    for (const Target& target : targets) {
        EditBuffer record = EditBuffer::of(table, target.bytes);
        for (std::size_t i = 0; i < fields.size(); ++i) {
            SqlValue value;
            try {
                value = values[i].evaluate(*table, target.bytes);
            } catch (const SqlError& error) {
                rethrow_at(error, update.assignments[i].value.position);
            }
            store_at(record, fields[i], value, update.assignments[i].value.position, "");
        }
        records.push_back(std::move(record));
    }

    const PrimaryKey key(*table);
    const bool key_changes =
        key.exists() && std::any_of(fields.begin(), fields.end(), [&](std::size_t field) {
            return field < table->schema().key_fields();
        });
    if (key_changes) {
        std::vector<Bytes8> keys;
        std::size_t next_target = 0;
        for (auto cursor = table->open_cursor(); !cursor->eof(); cursor->next()) {
            const bool updated = next_target < targets.size() &&
                                 targets[next_target].number == cursor->record_number();
            const Bytes k =
                key.key(updated ? records[next_target++].record().bytes() : cursor->record());
            keys.emplace_back(k.begin(), k.end());
        }
        key.check_unique(std::move(keys), *table);
    }

    TableWriter& writer = table->writer();
    TableWriter::Statement statement(writer);
    std::vector<StoredRecord> written;
    try {
        for (std::size_t i = 0; i < targets.size(); ++i)
            written.push_back(writer.update(targets[i].ref(), records[i]));
        statement.finish();
    } catch (const vaq::Error&) {
        undo_and_rethrow(*table, [&] {
            for (std::size_t i = written.size(); i-- > 0;) {
                const Bytes8 now = stored_bytes(*table, written[i].position);
                writer.update(RecordRef{now, written[i].position, written[i].record_number},
                              targets[i].original(table));
            }
            statement.finish();
        });
    }
    return targets.size();
}

std::uint64_t run_delete(const std::filesystem::path& directory, const Delete& del) {
    const std::shared_ptr<Table> table = open_for_writing(directory, del.table);
    const Scope scope{table.get(), del.table.name, {}};
    std::optional<BoundExpr> where;
    if (del.where) where = BoundExpr::bind(*del.where, scope);
    std::vector<Target> targets = matching_records(*table, where);
    std::vector<std::size_t> every_field(table->schema().size());
    std::iota(every_field.begin(), every_field.end(), std::size_t{0});
    for (Target& target : targets)
        keep_blobs(*table, target, every_field);

    TableWriter& writer = table->writer();
    TableWriter::Statement statement(writer);
    std::size_t removed = 0;
    try {
        // Last first: removing a record moves only the records after it.
        for (auto target = targets.rbegin(); target != targets.rend(); ++target, ++removed)
            writer.remove(target->ref());
        statement.finish();
    } catch (const vaq::Error&) {
        undo_and_rethrow(*table, [&] {
            for (std::size_t i = targets.size() - removed; i < targets.size(); ++i)
                writer.insert(targets[i].original(table));
            statement.finish();
        });
    }
    return targets.size();
}

}  // namespace pdx::sql
