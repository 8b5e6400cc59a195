#include "engine/table/record_editor.h"

#include <cstring>

#include "common/error.h"
#include "engine/table/index_cursor.h"
#include "engine/table/table.h"
#include "engine/table/table_cursor.h"

namespace pdx {

namespace {

// Cursors whose bookmarks are positions in the chain of data blocks.
bool walks_table_order(const Cursor& cursor) {
    return dynamic_cast<const TableCursor*>(&cursor) != nullptr ||
           dynamic_cast<const PrimaryKeyCursor*>(&cursor) != nullptr;
}

}  // namespace

RecordEditor::RecordEditor(std::shared_ptr<Table> table, Cursor& cursor)
    : table_(std::move(table)),
      cursor_(cursor),
      table_order_(dynamic_cast<const TableCursor*>(&cursor)),
      bookmarks_are_places_(walks_table_order(cursor)) {
    table_->writer();  // refuses a table opened for reading only
}

void RecordEditor::append() {
    if (editing()) post();
    buffer_.emplace(EditBuffer::blank(table_));
    state_ = State::kInsert;
}

void RecordEditor::edit() {
    if (editing()) return;
    const Bytes current = cursor_.record();
    original_.assign(current.begin(), current.end());
    original_position_.reset();
    original_number_ = cursor_.record_number();
    if (bookmarks_are_places_) {
        const Bookmark mark = cursor_.bookmark();
        original_position_ = RecordPosition{mark.block, mark.slot};
    }
    buffer_.emplace(EditBuffer::of(table_, current));
    state_ = State::kEdit;
}

EditBuffer& RecordEditor::buffer() {
    if (!buffer_) throw vaq::Error(table_->name() + " is not in edit or append mode.");
    return *buffer_;
}

void RecordEditor::set_field(std::string_view name, const FieldInput& value) {
    buffer().set(name, value);
}

void RecordEditor::set_field(std::size_t index, const FieldInput& value) {
    buffer().set(index, value);
}

std::string RecordEditor::field_text(std::string_view name) const {
    if (buffer_) return buffer_->text(name);
    return cursor_.field(name).as_text();
}

RecordRef RecordEditor::current_ref() const {
    RecordRef ref{original_, original_position_, original_number_, {}};
    // The cursor still stands on the record being edited: its block is the record's.
    if (table_order_ && original_position_ && table_order_->has_record() &&
        table_order_->current_block_number() == original_position_->block)
        ref.block = table_order_->current_block();
    return ref;
}

void RecordEditor::post() {
    if (!editing()) return;
    TableWriter& writer = table_->writer();
    const StoredRecord stored =
        state_ == State::kInsert ? writer.insert(*buffer_) : writer.update(current_ref(), *buffer_);
    buffer_.reset();
    state_ = State::kBrowse;
    show(stored);
    if (after_post_) after_post_();
}

void RecordEditor::cancel() {
    buffer_.reset();
    state_ = State::kBrowse;
}

void RecordEditor::remove() {
    if (state_ == State::kInsert) {
        cancel();
        return;
    }
    cancel();
    edit();
    const RecordRef ref = current_ref();
    cancel();
    const auto next = table_->writer().remove(ref);
    if (next)
        show(*next);
    else
        show_end();
}

void RecordEditor::save_changes() {
    table_->writer().save_changes();
}

void RecordEditor::show(const StoredRecord& stored) {
    if (bookmarks_are_places_) {
        cursor_.go_to(Bookmark{stored.record_number, stored.position.block, stored.position.slot,
                               table_->change_count(), false});
        return;
    }
    // Another order: find the record by its bytes.
    std::vector<std::uint8_t> block;
    const DataBlockHeader head = table_->data_file().read_data_block(stored.position.block, block);
    const std::size_t size = table_->header().record_size;
    if (stored.position.slot >= head.record_count(size)) return;
    const std::uint8_t* wanted = block.data() + record_offset_in_block(stored.position.slot, size);
    for (cursor_.first(); !cursor_.eof(); cursor_.next())
        if (std::memcmp(cursor_.record().data(), wanted, size) == 0) return;
}

void RecordEditor::show_end() {
    const TableHeader& h = table_->header();
    if (h.num_records == 0 || !bookmarks_are_places_) {
        cursor_.first();
        while (!cursor_.eof())
            cursor_.next();
        return;
    }
    std::vector<std::uint8_t> block;
    const DataBlockHeader head = table_->data_file().read_data_block(h.last_block, block);
    const std::size_t count = head.record_count(h.record_size);
    cursor_.go_to(Bookmark{h.num_records, h.last_block, static_cast<std::uint32_t>(count - 1),
                           table_->change_count(), true});
}

}  // namespace pdx
