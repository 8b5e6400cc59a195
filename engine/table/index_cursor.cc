#include "engine/table/index_cursor.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "engine/format/field_codec.h"
#include "engine/format/format_error.h"
#include "engine/format/index_tree.h"
#include "engine/table/table.h"
#include "engine/table/text_fold.h"

namespace pdx {

namespace {

// The indexed fields of a record side by side, in index order: the layout the front of an
// X record has, so that one KeyOrder compares both.
KeyOrder index_order(const Table& table, const SecondaryIndex& index) {
    std::vector<KeyOrder::Part> parts;
    std::size_t offset = 0;
    for (std::size_t i = 0; i < index.fields.size(); ++i) {
        const Field& field = table.schema()[index.fields[i]];
        parts.push_back({offset, field.descriptor, index.layout.fields[i].descending});
        offset += field.width();
    }
    const auto folder = [&table](std::string_view text) {
        return fold_case(table.codec().to_utf8(text));
    };
    return KeyOrder(std::move(parts), alpha_collation_of(table.header()),
                    index.layout.case_insensitive, folder);
}

std::size_t indexed_width(const Table& table, const SecondaryIndex& index) {
    std::size_t width = 0;
    for (std::size_t field : index.fields)
        width += table.schema()[field].width();
    return width;
}

std::vector<std::uint8_t> index_key_of(const Table& table, const SecondaryIndex& index,
                                       Bytes record) {
    std::vector<std::uint8_t> key;
    for (std::size_t i : index.fields) {
        const Field& field = table.schema()[i];
        const Bytes bytes = record.subspan(field.offset, field.width());
        key.insert(key.end(), bytes.begin(), bytes.end());
    }
    return key;
}

// The key fields lead the record of a keyed table.
KeyOrder primary_order(const Table& table) {
    std::vector<KeyOrder::Part> parts;
    for (std::size_t k = 0; k < table.schema().key_fields(); ++k)
        parts.push_back({table.schema()[k].offset, table.schema()[k].descriptor, false});
    return KeyOrder(std::move(parts), alpha_collation_of(table.header()), false);
}

std::size_t primary_key_width(const Table& table) {
    std::size_t width = 0;
    for (std::size_t k = 0; k < table.schema().key_fields(); ++k)
        width += table.schema()[k].width();
    return width;
}

int compare_bytes(Bytes a, Bytes b) {
    return std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
}

}  // namespace

// --- DataBlockCache ---

DataBlockCache::DataBlockCache(const Table& table) : table_(table), file_(table.data_file()) {}

void DataBlockCache::load(std::uint32_t block) {
    // A block read before the table last changed may hold other records now.
    if (block == block_ && change_count_ == table_.change_count()) return;
    change_count_ = table_.change_count();
    block_ = 0;
    const DataBlockHeader head = file_.read_data_block(block, buffer_);
    count_ = head.record_count(file_.header().record_size);
    block_ = block;
}

std::size_t DataBlockCache::records_in(std::uint32_t block) {
    load(block);
    return count_;
}

Bytes DataBlockCache::record(RecordPosition position) {
    load(position.block);
    if (position.slot >= count_)
        file_.fail("block " + std::to_string(position.block) + " holds no record " +
                   std::to_string(position.slot + 1));
    const std::size_t size = file_.header().record_size;
    return Bytes(buffer_).subspan(record_offset_in_block(position.slot, size), size);
}

// --- PrimaryKeyCursor ---

PrimaryKeyCursor::PrimaryKeyCursor(std::shared_ptr<const Table> table)
    : Cursor(table), chain_(table->open_cursor()), order_(primary_order(*table)) {
    remember_key();
}

void PrimaryKeyCursor::remember_key() {
    previous_.clear();
    if (chain_->has_record() && !chain_->eof()) {
        const Bytes current = chain_->record();
        previous_.assign(current.begin(), current.end());
    }
}

void PrimaryKeyCursor::first() {
    chain_->first();
    remember_key();
}

void PrimaryKeyCursor::next() {
    if (chain_->eof()) return;
    chain_->next();
    if (chain_->eof()) return;
    const Bytes current = chain_->record();
    if (!previous_.empty()) {
        const auto order = order_.certain_compare(previous_, current);
        if (order && *order >= 0)
            table().data_file().fail("its records are not in key order: record " +
                                     std::to_string(chain_->record_number()) +
                                     (*order == 0 ? " repeats the key before it"
                                                  : " has a key lower than the one before it"));
    }
    previous_.assign(current.begin(), current.end());
}

void PrimaryKeyCursor::go_to(const Bookmark& mark) {
    chain_->go_to(mark);
    remember_key();
}

// --- MaintainedIndexCursor ---

MaintainedIndexCursor::MaintainedIndexCursor(std::shared_ptr<const Table> table,
                                             const SecondaryIndex& index)
    : Cursor(table),
      index_(index),
      x_file_(BlockFile::open(index.index_file)),
      reader_(x_file_),
      blocks_(*table),
      order_(index_order(*table, index)),
      key_width_(indexed_width(*table, index)),
      pk_width_(primary_key_width(*table)),
      hint_offset_(key_width_ + pk_width_),
      seen_changes_(table->change_count()) {
    if (x_file_.header().num_records != table->record_count())
        fail("it holds " + std::to_string(x_file_.header().num_records) + " entries for the " +
             std::to_string(table->record_count()) + " records of " + table->name());
    load_primary_index();
    first();
}

void MaintainedIndexCursor::fail(const std::string& what) const {
    x_file_.fail(what);
}

// The level-1 entries of the .PX name the data blocks in key order with the first key of
// each; they are few (one per data block) and are kept. Without a .PX, records are found
// through a scan of the table.
void MaintainedIndexCursor::load_primary_index() {
    const auto px_path = primary_index_file(table());
    if (!px_path) return;
    const IndexTree tree = IndexTree::open(*px_path);
    if (tree.key_length() != pk_width_)
        tree.file().fail("its keys of " + std::to_string(tree.key_length()) +
                         " bytes do not match the " + std::to_string(pk_width_) +
                         "-byte primary key of " + table().name());
    const std::uint32_t blocks = table().header().file_blocks;
    is_chain_block_.assign(blocks + std::size_t{1}, false);
    std::uint64_t records = 0;
    for (TreeLeaf& leaf : tree.leaves()) {
        if (leaf.block == 0 || leaf.block > blocks)
            tree.file().fail("it points at block " + std::to_string(leaf.block) + " of " +
                             table().name() + ", which has " + std::to_string(blocks) + " blocks");
        is_chain_block_[leaf.block] = true;
        records += leaf.count;
        leaves_.push_back({std::move(leaf.key), leaf.block});
    }
    if (records != table().record_count())
        tree.file().fail("it counts " + std::to_string(records) + " records but " + table().name() +
                         " holds " + std::to_string(table().record_count()));
}

// The files as they are after a change of the table: the X file that the maintainer
// rewrote and the .PX whose level-1 entries name the blocks now.
void MaintainedIndexCursor::reopen_files() {
    seen_changes_ = table().change_count();
    x_file_ = BlockFile::open(index_.index_file);
    leaves_.clear();
    is_chain_block_.clear();
    by_key_.reset();
    load_primary_index();
}

// True when the current entry sorts before `stood` (index key, then primary key).
bool MaintainedIndexCursor::entry_before(Bytes stood) const {
    const Bytes entry = reader_.record();
    const int order = order_.compare(entry.first(key_width_), stood.first(key_width_));
    if (order != 0) return order < 0;
    return compare_bytes(entry.subspan(key_width_, pk_width_),
                         stood.subspan(key_width_, pk_width_)) < 0;
}

void MaintainedIndexCursor::follow_changes() {
    if (seen_changes_ == table().change_count()) return;
    std::vector<std::uint8_t> stood;
    if (number_ != 0) {
        const Bytes entry = reader_.record();
        stood.assign(entry.begin(), entry.begin() + static_cast<std::ptrdiff_t>(hint_offset_));
    }
    const bool at_end = eof_ || number_ == 0;
    reopen_files();
    first();
    if (at_end) {
        while (!eof_)
            next();
        return;
    }
    while (!eof_ && entry_before(stood))
        next();
}

// Reads may have to follow a change; the cursor itself is never a const object.
void MaintainedIndexCursor::follow_changes() const {
    const_cast<MaintainedIndexCursor*>(this)->follow_changes();
}

bool MaintainedIndexCursor::eof() const {
    follow_changes();
    return eof_;
}

std::uint32_t MaintainedIndexCursor::record_number() const {
    follow_changes();
    return number_;
}

void MaintainedIndexCursor::first() {
    if (seen_changes_ != table().change_count()) reopen_files();
    const TableHeader& h = table().header();
    slots_per_block_ = std::max<std::size_t>(h.records_per_block(), 1);
    visited_.assign((h.file_blocks + std::size_t{1}) * slots_per_block_, false);
    previous_.clear();
    checking_ = true;
    number_ = 0;
    eof_ = !reader_.first();
    if (eof_) return;
    number_ = 1;
    resolve();
}

void MaintainedIndexCursor::next() {
    follow_changes();
    if (eof_) return;
    if (!reader_.next()) {
        eof_ = true;  // the reader and the cursor stay on the last record
        return;
    }
    ++number_;
    resolve();
}

void MaintainedIndexCursor::resolve() {
    const Bytes entry = reader_.record();
    const Bytes pk = entry.subspan(key_width_, pk_width_);
    std::optional<RecordPosition> found;
    if (const auto hint = decode_short(entry.data() + hint_offset_);
        hint && *hint > 0 && static_cast<std::uint32_t>(*hint) < is_chain_block_.size() &&
        is_chain_block_[static_cast<std::size_t>(*hint)])
        found = find_in_block(static_cast<std::uint32_t>(*hint), pk);
    if (!found && !leaves_.empty()) found = find_by_primary_index(pk);
    if (!found) found = find_by_scan(pk);
    if (!found)
        fail("its entry " + std::to_string(number_) + " names a key that no record of " +
             table().name() + " holds");
    if (checking_) {
        mark_visited(*found);
        check_order();
    }
    current_ = *found;
    if (!order_.same_key(entry, index_key_of(table(), index_, blocks_.record(current_))))
        fail("its entry " + std::to_string(number_) +
             " does not hold the values of its record in " + table().name() +
             " (the index is out of date)");
}

void MaintainedIndexCursor::mark_visited(RecordPosition position) {
    const std::size_t at = position.block * slots_per_block_ + position.slot;
    if (position.slot >= slots_per_block_ || at >= visited_.size()) return;
    if (visited_[at]) fail("two of its entries point at the same record of " + table().name());
    visited_[at] = true;
}

void MaintainedIndexCursor::check_order() {
    const Bytes key = reader_.record().first(key_width_);
    if (!previous_.empty()) {
        const auto order = order_.certain_compare(previous_, key);
        if (order && *order > 0)
            fail("its entries are not in index order at entry " + std::to_string(number_));
    }
    previous_.assign(key.begin(), key.end());
}

std::optional<RecordPosition> MaintainedIndexCursor::find_in_block(std::uint32_t block, Bytes key) {
    const std::size_t count = blocks_.records_in(block);
    for (std::uint32_t slot = 0; slot < count; ++slot) {
        const Bytes record = blocks_.record({block, slot});
        if (std::memcmp(record.data(), key.data(), pk_width_) == 0)
            return RecordPosition{block, slot};
    }
    return std::nullopt;
}

// The last level-1 entry whose key is not above the wanted one names the block. Keys are
// compared as bytes, which is the order of every key type except alpha under a dictionary
// sort order; a miss there falls through to the scan.
std::optional<RecordPosition> MaintainedIndexCursor::find_by_primary_index(Bytes key) {
    auto it = std::upper_bound(leaves_.begin(), leaves_.end(), key, [](Bytes k, const Leaf& leaf) {
        return compare_bytes(k, leaf.key) < 0;
    });
    if (it != leaves_.begin()) --it;
    return find_in_block(it->block, key);
}

std::optional<RecordPosition> MaintainedIndexCursor::find_by_scan(Bytes key) {
    if (!by_key_) {
        by_key_.emplace();
        for (auto cursor = table().open_cursor(); !cursor->eof(); cursor->next()) {
            const Bytes record = cursor->record();
            const Bookmark mark = cursor->bookmark();
            by_key_->push_back({{record.begin(), record.begin() + pk_width_},
                                RecordPosition{mark.block, mark.slot}});
        }
        std::sort(by_key_->begin(), by_key_->end());
    }
    auto it = std::lower_bound(
        by_key_->begin(), by_key_->end(), key,
        [](const auto& item, Bytes k) { return compare_bytes(item.first, k) < 0; });
    if (it == by_key_->end() || compare_bytes(it->first, key) != 0) return std::nullopt;
    return it->second;
}

Bytes MaintainedIndexCursor::record() const {
    follow_changes();
    if (number_ == 0) no_current_record();
    return blocks_.record(current_);
}

Bookmark MaintainedIndexCursor::bookmark() const {
    follow_changes();
    return {number_, reader_.block(), reader_.slot(), table().change_count(), eof_};
}

void MaintainedIndexCursor::go_to(const Bookmark& mark) {
    if (mark.record_number == 0) {
        first();
        return;
    }
    if (seen_changes_ != table().change_count() || mark.change_count != seen_changes_) {
        // The entry's place in the X file may have moved: it is counted from the start.
        first();
        while (!eof_ && number_ < mark.record_number)
            next();
        eof_ = eof_ || mark.at_end;
        return;
    }
    checking_ = false;
    reader_.seek(mark.block, mark.slot, mark.record_number);
    number_ = mark.record_number;
    resolve();
    eof_ = mark.at_end;
}

// --- PositionListCursor ---

namespace {

struct KeyedRecord {
    std::vector<std::uint8_t> key;
    RecordPosition position;
};

std::vector<KeyedRecord> read_keys(const Table& table, const SecondaryIndex& index) {
    std::vector<KeyedRecord> rows;
    rows.reserve(table.record_count());
    for (auto cursor = table.open_cursor(); !cursor->eof(); cursor->next()) {
        const Bookmark mark = cursor->bookmark();
        rows.push_back({index_key_of(table, index, cursor->record()), {mark.block, mark.slot}});
    }
    return rows;
}

// The positions a non-maintained X file lists, when every entry points at a distinct
// record of the table that holds the entry's key and the entries are in order. Nothing
// when one of them does not hold: the snapshot was taken before the table changed.
std::optional<std::vector<RecordPosition>> trusted_positions(const Table& table,
                                                             const SecondaryIndex& index,
                                                             const std::vector<KeyedRecord>& rows,
                                                             const KeyOrder& order) {
    std::vector<std::size_t> by_position(rows.size());
    std::iota(by_position.begin(), by_position.end(), std::size_t{0});
    std::sort(by_position.begin(), by_position.end(),
              [&](std::size_t a, std::size_t b) { return rows[a].position < rows[b].position; });
    std::vector<bool> used(rows.size());
    std::vector<RecordPosition> positions;
    const BlockFile x = BlockFile::open(index.index_file);
    IndexRecordReader reader(x);
    const std::size_t key_width = indexed_width(table, index);
    const std::size_t record_size = table.header().record_size;
    std::vector<std::uint8_t> previous_key;
    for (bool more = reader.first(); more; more = reader.next()) {
        const Bytes entry = reader.record();
        // Tup No (I) at key_width is not needed: block and offset say where the record is.
        const auto block = decode_short(entry.data() + key_width + 4);
        const auto offset = decode_short(entry.data() + key_width + 6);
        if (!block || !offset || *block <= 0 || *offset < 0 ||
            static_cast<std::size_t>(*offset) % record_size != 0)
            return std::nullopt;
        const RecordPosition at{static_cast<std::uint32_t>(*block),
                                static_cast<std::uint32_t>(*offset / record_size)};
        const auto it = std::lower_bound(
            by_position.begin(), by_position.end(), at,
            [&](std::size_t row, RecordPosition p) { return rows[row].position < p; });
        if (it == by_position.end() || rows[*it].position != at || used[*it]) return std::nullopt;
        used[*it] = true;
        if (!order.same_key(entry, rows[*it].key)) return std::nullopt;
        if (!previous_key.empty()) {
            const auto sorted = order.certain_compare(previous_key, entry.first(key_width));
            if (sorted && *sorted > 0) return std::nullopt;
        }
        previous_key.assign(entry.begin(), entry.begin() + static_cast<std::ptrdiff_t>(key_width));
        positions.push_back(at);
    }
    if (positions.size() != rows.size()) return std::nullopt;
    return positions;
}

}  // namespace

PositionListCursor::PositionListCursor(std::shared_ptr<const Table> table,
                                       const SecondaryIndex& index)
    : Cursor(table), index_(index), order_(index_order(*table, index)), blocks_(*table) {
    build_positions();
    first();
}

void PositionListCursor::build_positions() {
    seen_changes_ = table().change_count();
    positions_.clear();
    sorted_here_ = false;
    std::vector<KeyedRecord> rows = read_keys(table(), index_);
    std::optional<std::vector<RecordPosition>> trusted;
    if (!index_.stale) trusted = trusted_positions(table(), index_, rows, order_);
    if (trusted) {
        positions_ = std::move(*trusted);
    } else {
        // The index is a stale snapshot and is not trusted: the table is sorted here by the
        // index's fields (without letter case when the index ignores it), records with
        // equal keys in table order.
        sorted_here_ = true;
        std::stable_sort(rows.begin(), rows.end(), [&](const KeyedRecord& a, const KeyedRecord& b) {
            return order_.compare(a.key, b.key) < 0;
        });
        positions_.reserve(rows.size());
        for (const KeyedRecord& row : rows)
            positions_.push_back(row.position);
    }
}

void PositionListCursor::hold() {
    held_.clear();
    if (positions_.empty()) return;
    const Bytes current = blocks_.record(positions_[at_]);
    held_.assign(current.begin(), current.end());
}

// The positions made anew; the cursor walks from the start to the record it held, or to
// the first record whose key is not below that record's.
void PositionListCursor::follow_changes() {
    if (seen_changes_ == table().change_count()) return;
    const std::vector<std::uint8_t> stood = held_;
    const bool at_end = eof_ || stood.empty();
    build_positions();
    at_ = 0;
    eof_ = positions_.empty();
    if (eof_) {
        held_.clear();
        return;
    }
    if (!at_end) {
        const std::vector<std::uint8_t> key = index_key_of(table(), index_, stood);
        std::optional<std::size_t> not_below;
        for (std::size_t i = 0; i < positions_.size(); ++i) {
            const Bytes record = blocks_.record(positions_[i]);
            const int order = order_.compare(index_key_of(table(), index_, record), key);
            if (order < 0) continue;
            if (!not_below) not_below = i;
            if (order > 0) break;
            if (std::equal(record.begin(), record.end(), stood.begin(), stood.end())) {
                not_below = i;
                break;
            }
        }
        if (not_below) {
            at_ = *not_below;
            hold();
            return;
        }
    }
    at_ = positions_.size() - 1;
    eof_ = true;
    hold();
}

// Reads may have to follow a change; the cursor itself is never a const object.
void PositionListCursor::follow_changes() const {
    const_cast<PositionListCursor*>(this)->follow_changes();
}

void PositionListCursor::first() {
    if (seen_changes_ != table().change_count()) build_positions();
    at_ = 0;
    eof_ = positions_.empty();
    hold();
}

void PositionListCursor::next() {
    follow_changes();
    if (eof_) return;
    if (at_ + 1 < positions_.size()) {
        ++at_;
        hold();
    } else {
        eof_ = true;
    }
}

bool PositionListCursor::eof() const {
    follow_changes();
    return eof_;
}

std::uint32_t PositionListCursor::record_number() const {
    follow_changes();
    return positions_.empty() ? 0 : static_cast<std::uint32_t>(at_ + 1);
}

Bytes PositionListCursor::record() const {
    follow_changes();
    if (positions_.empty()) no_current_record();
    return blocks_.record(positions_[at_]);
}

Bookmark PositionListCursor::bookmark() const {
    follow_changes();
    return {record_number(), 0, static_cast<std::uint32_t>(at_), table().change_count(), eof_};
}

void PositionListCursor::go_to(const Bookmark& mark) {
    if (seen_changes_ != table().change_count()) build_positions();
    if (mark.record_number == 0 || mark.slot >= positions_.size()) {
        first();
        return;
    }
    at_ = mark.slot;
    eof_ = mark.at_end;
    hold();
}

// --- opening ---

std::unique_ptr<Cursor> open_primary_cursor(const Table& table) {
    if (!table.is_keyed()) return table.open_cursor();
    return std::make_unique<PrimaryKeyCursor>(table.shared_from_this());
}

std::unique_ptr<Cursor> open_index_cursor(const Table& table, const SecondaryIndex& index) {
    if (index.layout.maintained)
        return std::make_unique<MaintainedIndexCursor>(table.shared_from_this(), index);
    return std::make_unique<PositionListCursor>(table.shared_from_this(), index);
}

std::unique_ptr<Cursor> open_index_cursor(const Table& table, std::string_view index_name) {
    if (index_name.empty()) return open_primary_cursor(table);
    return open_index_cursor(table, find_secondary_index(table, index_name));
}

}  // namespace pdx
