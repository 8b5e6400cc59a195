#pragma once

// The table object: one table of a database (alias) in a session, opened, walked, searched
// and changed record by record. Field values are read as text or integer and written as text
// that the field converts to its type. Every failure raises an error carrying the engine's
// message.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/session.h"
#include "engine/api/dbi.h"
#include "engine/sql/sql_value.h"
#include "engine/table/cursor.h"
#include "engine/table/field_input.h"

namespace pdx {
class Table;
class RecordEditor;
}  // namespace pdx

namespace vaq::db {

// The directory of a database name: an open connection of that name in the session, or
// else an alias of the engine. Raises the engine's error for an unknown alias.
std::filesystem::path database_directory(Session& session, std::string_view database_name);

// A field's value read as text the way the window and the jobs see it: dates, times and
// timestamps under the process-wide formats (common/dateformat.h), numbers in decimal,
// logical values True and False, bytes as 0x and hex digits, an empty field as empty text.
std::string field_text(const pdx::sql::SqlValue& value);

// The names a field value reports: its field's and its table's. Each pair is kept once for
// the whole process (one for every field of every table or result read: a few thousand at
// most), so that a value carries a pointer to its names instead of copies of them.
struct FieldLabel {
    std::string field;
    std::string table;
};
const FieldLabel& field_label(std::string_view field, std::string_view table);

// One field of the current record, read as text or integer.
class FieldValue {
  public:
    FieldValue(const FieldLabel& label, pdx::sql::SqlValue value)
        : label_(&label), value_(std::move(value)) {}
    // The field's value as the engine reads it.
    FieldValue(const FieldLabel& label, const pdx::Value& field)
        : label_(&label), value_(pdx::sql::value_of(field)) {}
    // `table` names the table in messages.
    FieldValue(std::string_view name, pdx::sql::SqlValue value, std::string_view table)
        : FieldValue(field_label(name, table), std::move(value)) {}

    const std::string& name() const { return label_->field; }
    bool is_null() const { return value_.is_null(); }
    std::string as_string() const& { return field_text(value_); }
    // A value read once gives its text away instead of copying it.
    std::string as_string() && {
        if (value_.kind == pdx::sql::ValueKind::kText) return std::move(value_.text);
        return field_text(value_);
    }
    // An empty field reads as 0, a number is rounded, a logical value is 1 or 0, and text
    // must hold a whole number. Throws vaq::Error naming the field otherwise.
    std::int64_t as_integer() const;
    const pdx::sql::SqlValue& value() const { return value_; }

  private:
    const FieldLabel* label_;
    pdx::sql::SqlValue value_;
};

using LocateValue = pdx::FieldInput;
using LocateOptions = pdx::LocateOptions;

class Table {
  public:
    enum class State { kInactive, kBrowse, kEdit, kInsert };

    explicit Table(std::string alias_name = "VAQ", std::string table_name = {},
                   Session& session = default_session());
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // ---- binding; each can change only while the table is closed ----
    const std::string& alias_name() const { return aliasName_; }
    void set_alias_name(std::string alias_name);
    // As given ("Transact", "Door.DB"); found without regard to letter case and extension.
    const std::string& table_name() const { return tableName_; }
    void set_table_name(std::string table_name);
    // The secondary index that orders the records; empty for the table's own order (the
    // primary key's order for a keyed table). Changing it on an open table moves to the
    // first record in the new order.
    const std::string& index_name() const { return indexName_; }
    void set_index_name(std::string index_name);

    // ---- opening and moving ----
    void open();
    // Cancels a pending edit or insert.
    void close();
    bool active() const { return table_ != nullptr; }
    void set_active(bool active) { active ? open() : close(); }
    State state() const;

    void first();
    void next();
    bool eof() const;
    std::uint32_t record_count() const;
    // 1-based number of the current record in the current order; 0 when there is none.
    std::uint32_t rec_no() const;

    // ---- fields ----
    // The field definitions as last read: on opening, or by refresh_field_defs().
    std::vector<std::string> field_names() const;
    // Reads the field definitions of the table again from its file (open or closed).
    void refresh_field_defs();
    bool find_field(std::string_view name) const;
    // The field of the current record (of the edit buffer while editing or inserting),
    // letter case of `name` ignored. Throws vaq::Error("Field not found: X in T.DB.").
    FieldValue field_by_name(std::string_view name) const;
    // Writes text into the field of the record being edited or inserted; the field converts
    // it: a date in the process short date format, a time in the process time format, a
    // number in decimal, True or False; an empty text empties the field. Throws vaq::Error
    // naming the field and the text when the field cannot take it.
    void set_field_text(std::string_view name, std::string_view text);

    // Record after record in table order, where each stands: `newText` is given the texts of
    // the text fields `readField` and `writtenField` and returns the text to write into
    // `writtenField`, or nothing to leave the record as it is; `afterRecord` follows every
    // record. One walk of the table's writer instead of an edit and a post per record, with
    // the same outcome should the process die: each record as it was or as it became. False,
    // with nothing done, when either field is not a text field. The cursor is not moved.
    using TextRewrite = std::function<std::optional<std::string_view>(std::string_view read,
                                                                      std::string_view written)>;
    bool rewrite_text(std::string_view readField, std::string_view writtenField,
                      const TextRewrite& newText, const std::function<void()>& afterRecord = {});

    // Record after record in the current order, from the first: `each` is given the texts of
    // the text fields `firstField` and `secondField` as field_by_name would read them, without a
    // field value made for each. Ends on the first record. False, with nothing read, when
    // either field is not a text field.
    using TextPairVisitor = std::function<void(std::string_view first, std::string_view second)>;
    bool read_each_text(std::string_view firstField, std::string_view secondField,
                        const TextPairVisitor& each);

    // ---- searching ----
    // Moves to the first record in the current order whose fields (names separated by ";")
    // equal the values; true when found. When none matches the table stays where it was.
    bool locate(std::string_view field_names, const LocateValue& value, LocateOptions options = {});
    bool locate(std::string_view field_names, std::span<const LocateValue> values,
                LocateOptions options = {});

    // ---- changing records ----
    // Starts editing the current record. Moving to another record, locating and changing
    // the order post a pending edit or insert first.
    void edit();
    // Starts a new, empty record that post() adds to the table.
    void append();
    // Stores the record being edited or inserted, then calls the after-post handler.
    void post();
    // Drops the changes of the record being edited or inserted.
    void cancel();
    void set_after_post(std::function<void(Table&)> handler) { afterPost_ = std::move(handler); }

    // The engine's cursor of the open table, for the Dbi calls (DbiSaveChanges); null while
    // closed.
    pdx::hDBICur handle() const { return handle_; }
    // Hands every change the engine holds back for the table to the operating system;
    // closing the table also flushes them to the disk.
    void save_changes();

    // ---- the table as a whole ----
    // The names of the table's secondary indexes in the engine's order; the primary index
    // has no name and is not listed. The table need not be open.
    std::vector<std::string> index_names();
    // Empties `list`, then fills it with index_names().
    void get_index_names(std::vector<std::string>& list);
    // Deletes the secondary index called `name` (letter case ignored), open or closed.
    void delete_index(std::string_view name);
    // Deletes the table and its family. The table must be closed.
    void delete_table();
    // Renames the table (closed) to `newName`; the object then names the new table.
    void rename_table(std::string_view newName);

    // The table's directory and file name, for messages and tests. Resolves the alias.
    std::filesystem::path directory() const;

  private:
    void require_closed(std::string_view what) const;
    void require_open(std::string_view what) const;
    void require_editing(std::string_view what) const;
    bool editing() const;
    pdx::RecordEditor& editor();
    void open_cursor();
    std::shared_ptr<pdx::Table> open_engine_table() const;
    std::size_t field_index(std::string_view name) const;
    void forget_field_indexes();
    std::string display_name() const;
    const pdx::Cursor& cursor() const;
    pdx::Cursor& cursor();

    Session& session_;
    std::string aliasName_;
    std::string tableName_;
    std::string indexName_;
    std::shared_ptr<pdx::Table> table_;
    std::unique_ptr<pdx::Cursor> cursor_;
    // Made on the first edit or append, when the table is opened for writing too.
    std::unique_ptr<pdx::RecordEditor> editor_;
    std::vector<std::string> fieldNames_;
    // Of the open table, by field index.
    std::vector<const FieldLabel*> labels_;
    // The last field names asked for, exactly as given, with their field index in the open
    // table: a loop that reads the same fields of every record compares a few short texts
    // instead of every field name ignoring letter case.
    struct RememberedField {
        std::string name;
        std::size_t index = 0;
    };
    mutable std::array<RememberedField, 4> rememberedFields_;
    mutable std::size_t rememberedCount_ = 0;
    pdx::hDBICur handle_ = nullptr;
    std::function<void(Table&)> afterPost_;
};

}  // namespace vaq::db
