#include "db/table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "common/dateformat.h"
#include "common/error.h"
#include "common/text.h"
#include "db/database.h"
#include "engine/api/cursor.h"
#include "engine/format/calendar.h"
#include "engine/format/field_codec.h"
#include "engine/sql/result_set.h"
#include "engine/table/index_catalog.h"
#include "engine/table/index_cursor.h"
#include "engine/table/record_editor.h"
#include "engine/table/secondary_index.h"
#include "engine/table/table.h"
#include "engine/table/table_admin.h"
#include "engine/table/table_name.h"
#include "engine/table/table_writer.h"

namespace vaq::db {

namespace fs = std::filesystem;

namespace {

// The engine's cursor handle of an open table object: what DbiSaveChanges works on.
class TableHandle final : public pdx::DbiCursor {
  public:
    explicit TableHandle(std::shared_ptr<pdx::Table> table) : table_(std::move(table)) {}

    // Copies the record at the handle's own position and moves on, in table order.
    bool next_record(void* recordBuffer) override {
        if (!cursor_) cursor_ = table_->open_cursor();
        if (cursor_->eof() || !cursor_->has_record()) return false;
        const pdx::Bytes record = cursor_->record();
        std::memcpy(recordBuffer, record.data(), record.size());
        cursor_->next();
        return true;
    }
    void save_changes() override {
        if (table_->writable()) table_->writer().save_changes();
    }

  private:
    std::shared_ptr<pdx::Table> table_;
    std::unique_ptr<pdx::Cursor> cursor_;
};

}  // namespace

fs::path database_directory(Session& session, std::string_view database_name) {
    if (const Database* database = session.find_database(database_name))
        return database->directory();
    return session.alias_directory(database_name);
}

std::string field_text(const pdx::sql::SqlValue& value) {
    using pdx::sql::ValueKind;
    switch (value.kind) {
        case ValueKind::kNull:
            return {};
        case ValueKind::kDate:
            return format_date(from_day_number(static_cast<std::int32_t>(value.integer)));
        case ValueKind::kTime:
            return format_time(from_milliseconds(static_cast<std::int32_t>(value.integer)));
        case ValueKind::kTimestamp:
            return format_date_time(from_timestamp(std::round(value.number)));
        case ValueKind::kBoolean:
            return value.integer != 0 ? "True" : "False";
        case ValueKind::kText:
            return value.text;
        default:
            // Numbers in decimal (BCD exactly), bytes in hex.
            return pdx::sql::describe(value);
    }
}

const FieldLabel& field_label(std::string_view field, std::string_view table) {
    static std::mutex mutex;
    // Keyed by the table's name, its length first so that no two pairs share a key.
    static std::unordered_map<std::string, std::unique_ptr<const FieldLabel>> labels;
    std::string key = std::to_string(table.size());
    key.append(":").append(table).append(field);
    const std::lock_guard lock(mutex);
    auto [it, added] = labels.try_emplace(std::move(key));
    if (added)
        it->second =
            std::make_unique<const FieldLabel>(FieldLabel{std::string(field), std::string(table)});
    return *it->second;
}

std::int64_t FieldValue::as_integer() const {
    using pdx::sql::ValueKind;
    switch (value_.kind) {
        case ValueKind::kNull:
            return 0;
        case ValueKind::kInteger:
        case ValueKind::kBoolean:
            return value_.integer;
        case ValueKind::kFloat:
            return static_cast<std::int64_t>(std::llround(value_.number));
        case ValueKind::kText: {
            const std::string_view text = trim_blanks(value_.text);
            std::int64_t number = 0;
            const auto [end, error] =
                std::from_chars(text.data(), text.data() + text.size(), number);
            if (!text.empty() && error == std::errc() && end == text.data() + text.size())
                return number;
            throw Error("The value '" + value_.text + "' of field " + label_->field + " in " +
                        label_->table + " is not an integer.");
        }
        default:
            throw Error("Field " + label_->field + " of " + label_->table +
                        " is not a number field.");
    }
}

Table::Table(std::string alias_name, std::string table_name, Session& session)
    : session_(session), aliasName_(std::move(alias_name)), tableName_(std::move(table_name)) {}

Table::~Table() {
    // A pending edit is dropped; closing the handle cannot fail.
    if (handle_ != nullptr) pdx::release_cursor(handle_);
}

Table::State Table::state() const {
    if (!table_) return State::kInactive;
    if (!editor_) return State::kBrowse;
    switch (editor_->state()) {
        case pdx::RecordEditor::State::kEdit:
            return State::kEdit;
        case pdx::RecordEditor::State::kInsert:
            return State::kInsert;
        default:
            return State::kBrowse;
    }
}

bool Table::editing() const {
    return editor_ && editor_->editing();
}

std::string Table::display_name() const {
    if (table_) return table_->name();
    return tableName_;
}

void Table::require_closed(std::string_view what) const {
    if (active())
        throw Error("Cannot " + std::string(what) + " of an open table: " + display_name() + ".");
}

void Table::require_open(std::string_view what) const {
    if (!active())
        throw Error("Cannot " + std::string(what) + ": the table " + display_name() +
                    " is not open.");
}

void Table::require_editing(std::string_view what) const {
    require_open(what);
    if (!editing())
        throw Error("Cannot " + std::string(what) + ": the table " + display_name() +
                    " is not in edit or insert mode.");
}

void Table::set_alias_name(std::string alias_name) {
    require_closed("change the alias");
    aliasName_ = std::move(alias_name);
}

void Table::set_table_name(std::string table_name) {
    require_closed("change the table name");
    tableName_ = std::move(table_name);
    fieldNames_.clear();
}

void Table::set_index_name(std::string index_name) {
    if (active()) {
        if (editing()) post();
        const std::string previous = std::exchange(indexName_, std::move(index_name));
        try {
            open_cursor();
        } catch (...) {
            indexName_ = previous;
            throw;
        }
        return;
    }
    indexName_ = std::move(index_name);
}

fs::path Table::directory() const {
    return database_directory(session_, aliasName_);
}

std::shared_ptr<pdx::Table> Table::open_engine_table() const {
    if (tableName_.empty()) throw Error("The table object has no table name.");
    session_.open();
    return pdx::Table::open(directory(), tableName_);
}

void Table::open_cursor() {
    std::unique_ptr<pdx::Cursor> cursor = indexName_.empty()
                                              ? pdx::open_primary_cursor(*table_)
                                              : pdx::open_index_cursor(*table_, indexName_);
    // The editor works through the cursor it was made with.
    editor_.reset();
    cursor_ = std::move(cursor);
}

void Table::open() {
    if (active()) return;
    table_ = open_engine_table();
    try {
        open_cursor();
        handle_ = pdx::register_cursor(std::make_unique<TableHandle>(table_));
        for (const pdx::Field& field : table_->schema().fields())
            labels_.push_back(&field_label(field.name, table_->name()));
    } catch (...) {
        forget_field_indexes();
        cursor_.reset();
        table_.reset();
        throw;
    }
    refresh_field_defs();
}

void Table::close() {
    if (!active()) return;
    editor_.reset();
    cursor_.reset();
    if (handle_ != nullptr) pdx::release_cursor(handle_);
    handle_ = nullptr;
    table_.reset();
    forget_field_indexes();
}

const pdx::Cursor& Table::cursor() const {
    require_open("read a record");
    return *cursor_;
}

pdx::Cursor& Table::cursor() {
    require_open("move");
    return *cursor_;
}

void Table::first() {
    if (editing()) post();
    cursor().first();
}

void Table::next() {
    if (editing()) post();
    cursor().next();
}

bool Table::eof() const {
    return cursor().eof();
}

std::uint32_t Table::record_count() const {
    return cursor().record_count();
}

std::uint32_t Table::rec_no() const {
    return cursor().record_number();
}

std::vector<std::string> Table::field_names() const {
    return fieldNames_;
}

void Table::refresh_field_defs() {
    const std::shared_ptr<pdx::Table> table = table_ ? table_ : open_engine_table();
    fieldNames_.clear();
    for (const pdx::Field& field : table->schema().fields())
        fieldNames_.push_back(field.name);
}

bool Table::find_field(std::string_view name) const {
    for (const std::string& field : fieldNames_)
        if (iequals(field, name)) return true;
    return false;
}

std::size_t Table::field_index(std::string_view name) const {
    const std::size_t remembered = std::min(rememberedCount_, rememberedFields_.size());
    for (std::size_t i = 0; i < remembered; ++i)
        if (rememberedFields_[i].name == name) return rememberedFields_[i].index;
    const std::size_t index = table_->schema().field(name, table_->name()).index;
    rememberedFields_[rememberedCount_++ % rememberedFields_.size()] = {std::string(name), index};
    return index;
}

void Table::forget_field_indexes() {
    labels_.clear();
    rememberedCount_ = 0;
}

FieldValue Table::field_by_name(std::string_view name) const {
    const pdx::Cursor& current = cursor();
    const std::size_t index = field_index(name);
    if (!editing()) return FieldValue(*labels_[index], current.value(index));
    pdx::EditBuffer& buffer = editor_->buffer();
    // A memo or blob given a new value is held in the buffer until the post.
    if (buffer.blob_changed(index)) {
        std::string text = buffer.text(index);
        return FieldValue(*labels_[index], text.empty()
                                               ? pdx::sql::SqlValue::null()
                                               : pdx::sql::SqlValue::of_text(std::move(text)));
    }
    return FieldValue(*labels_[index], buffer.record().value(index));
}

bool Table::locate(std::string_view field_names, const LocateValue& value, LocateOptions options) {
    return locate(field_names, std::span<const LocateValue>(&value, 1), options);
}

bool Table::locate(std::string_view field_names, std::span<const LocateValue> values,
                   LocateOptions options) {
    if (editing()) post();
    return cursor().locate(field_names, values, options);
}

void Table::save_changes() {
    require_open("save changes");
    if (table_->writable()) table_->writer().save_changes();
}

std::vector<std::string> Table::index_names() {
    const std::shared_ptr<pdx::Table> table = table_ ? table_ : open_engine_table();
    std::vector<std::string> names;
    for (const pdx::SecondaryIndex& index : pdx::list_secondary_indexes(*table))
        names.push_back(index.name);
    return names;
}

void Table::get_index_names(std::vector<std::string>& list) {
    list.clear();
    list = index_names();
}

// ---- changes ----

pdx::RecordEditor& Table::editor() {
    if (!editor_) {
        // The table this process holds open is the same object, now also for writing.
        pdx::Table::open_file(table_->path(), pdx::Access::kWrite);
        editor_ = std::make_unique<pdx::RecordEditor>(table_, *cursor_);
    }
    return *editor_;
}

void Table::edit() {
    require_open("edit");
    editor().edit();
}

void Table::append() {
    require_open("append");
    editor().append();
}

void Table::post() {
    require_editing("post");
    editor_->post();
    if (afterPost_) afterPost_(*this);
}

void Table::cancel() {
    if (editor_) editor_->cancel();
}

void Table::set_field_text(std::string_view name, std::string_view text) {
    require_editing("write a field");
    editor_->set_field(field_index(name), pdx::FieldInput(std::string(text)));
}

namespace {

// The text of an alpha field as field_by_name reads it: the bytes themselves when they are
// ASCII (no copy), else converted from the table's code page into `converted`.
std::string_view alpha_text(const pdx::Table& table, pdx::Bytes bytes, std::string& converted) {
    const std::string_view raw = pdx::decode_alpha(bytes);
    for (const char c : raw)
        if (static_cast<unsigned char>(c) >= 0x80) {
            converted = table.codec().to_utf8(raw);
            return converted;
        }
    return raw;
}

}  // namespace

bool Table::rewrite_text(std::string_view readField, std::string_view writtenField,
                         const TextRewrite& newText, const std::function<void()>& afterRecord) {
    require_open("change records");
    if (editing()) throw Error(display_name() + " is in edit or append mode.");
    const pdx::Field& read = table_->schema()[field_index(readField)];
    const pdx::Field& written = table_->schema()[field_index(writtenField)];
    if (read.type() != pdx::FieldType::kAlpha || written.type() != pdx::FieldType::kAlpha)
        return false;
    editor();  // opens the table for writing, as an edit would
    const pdx::Table& table = *table_;
    std::string readText;
    std::string writtenText;
    table_->writer().change_each_in_place(
        [&](pdx::MutableBytes record) {
            const pdx::MutableBytes target = record.subspan(written.offset, written.width());
            const auto text =
                newText(alpha_text(table, record.subspan(read.offset, read.width()), readText),
                        alpha_text(table, target, writtenText));
            if (!text) return false;
            pdx::encode_field_input(table, written, pdx::FieldInput(std::string(*text)), target);
            return true;
        },
        afterRecord);
    return true;
}

bool Table::read_each_text(std::string_view firstField, std::string_view secondField,
                           const TextPairVisitor& each) {
    require_open("read records");
    const pdx::Field& first = table_->schema()[field_index(firstField)];
    const pdx::Field& second = table_->schema()[field_index(secondField)];
    if (first.type() != pdx::FieldType::kAlpha || second.type() != pdx::FieldType::kAlpha)
        return false;
    if (editing()) post();  // as first() would
    const pdx::Table& table = *table_;
    pdx::Cursor& walk = cursor();
    std::string firstText;
    std::string secondText;
    for (walk.first(); !walk.eof(); walk.next()) {
        const pdx::Bytes record = walk.record();
        each(alpha_text(table, record.subspan(first.offset, first.width()), firstText),
             alpha_text(table, record.subspan(second.offset, second.width()), secondText));
    }
    walk.first();
    return true;
}

void Table::delete_index(std::string_view name) {
    if (table_) {
        // Through the open table; the cursor may stand in that index's order.
        if (iequals(indexName_, name)) set_index_name({});
        pdx::delete_secondary_index(*table_, name);
        return;
    }
    if (tableName_.empty()) throw Error("The table object has no table name.");
    session_.open();
    pdx::delete_secondary_index(directory(), tableName_, name);
}

void Table::delete_table() {
    require_closed("delete the table");
    const fs::path dir = directory();
    if (const auto file = pdx::find_table_file(dir, tableName_)) pdx::sql::release_results(*file);
    pdx::delete_table(dir, tableName_);
    fieldNames_.clear();
}

void Table::rename_table(std::string_view newName) {
    require_closed("rename the table");
    const fs::path dir = directory();
    if (const auto file = pdx::find_table_file(dir, tableName_)) pdx::sql::release_results(*file);
    pdx::rename_table(dir, tableName_, newName);
    tableName_ = std::string(newName);
}

}  // namespace vaq::db
