#pragma once

// Editing through a cursor, the way the table objects of the system edit: append or edit
// fills a record buffer, fields are written as text (or typed values) that the field
// converts, post stores the record, moves the cursor onto it and then calls the after-post
// handler; cancel drops the buffer. Delete removes the current record and leaves the cursor
// on the record that followed it (on the new last record, at the end of the table, when it
// was the last). Save changes hands every change held back to the operating system.
//
// Append and edit post a pending change first, as switching records in a table object does.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/table/cursor.h"
#include "engine/table/edit_buffer.h"
#include "engine/table/table_writer.h"

namespace pdx {

class Table;
class TableCursor;

class RecordEditor {
  public:
    enum class State { kBrowse, kEdit, kInsert };

    // `table` is open for writing; `cursor` walks it and must outlive the editor.
    RecordEditor(std::shared_ptr<Table> table, Cursor& cursor);

    State state() const { return state_; }
    bool editing() const { return state_ != State::kBrowse; }

    // A blank record to fill (auto-increment fields are numbered when it is posted).
    void append();
    // A copy of the current record to change. Throws when there is no current record.
    void edit();
    // Converts and stores a field of the record buffer; throws vaq::Error naming the value
    // and the field. Requires append() or edit().
    void set_field(std::string_view name, const FieldInput& value);
    // The same for the field at `index` in the table's schema.
    void set_field(std::size_t index, const FieldInput& value);
    // The buffer being edited (requires append() or edit()).
    EditBuffer& buffer();
    // The field's text: from the buffer while editing, else from the current record.
    std::string field_text(std::string_view name) const;

    // Stores the buffer. Errors (a key violation, a full table) leave the buffer and the
    // state as they were, and nothing written.
    void post();
    void cancel();
    // Deletes the current record (an append in progress is cancelled instead).
    void remove();
    // Writes every change held back into the file (TableWriter::save_changes).
    void save_changes();

    // Called after every successful post.
    void set_after_post(std::function<void()> handler) { after_post_ = std::move(handler); }

  private:
    RecordRef current_ref() const;
    void show(const StoredRecord& stored);
    void show_end();

    std::shared_ptr<Table> table_;
    Cursor& cursor_;
    // The cursor when it walks the table order (its bookmarks are places in the chain).
    const TableCursor* table_order_ = nullptr;
    bool bookmarks_are_places_ = false;
    State state_ = State::kBrowse;
    std::optional<EditBuffer> buffer_;
    std::vector<std::uint8_t> original_;  // the record as it was when edit() began
    std::optional<RecordPosition> original_position_;
    std::uint32_t original_number_ = 0;
    std::function<void()> after_post_;
};

}  // namespace pdx
