#include "engine/table/secondary_index_maintainer.h"

#include <algorithm>
#include <cstring>

#include "common/error.h"
#include "engine/format/block_chain.h"
#include "engine/format/field_codec.h"
#include "engine/format/format_error.h"
#include "engine/format/header_counters.h"
#include "engine/table/index_catalog.h"
#include "engine/table/secondary_index.h"
#include "engine/table/secondary_index_build.h"
#include "engine/table/table.h"
#include "engine/table/table_family.h"
#include "engine/table/table_lock.h"

namespace pdx {

namespace fs = std::filesystem;

namespace {

constexpr std::uint16_t kMaxBlocks = 0xFFFF;
constexpr std::size_t kIndexStampOffset = 0x2C;

}  // namespace

// --- IndexEntryWriter -----------------------------------------------------------------------

IndexEntryWriter::IndexEntryWriter(const fs::path& x_path, const fs::path& y_path, KeyOrder order)
    : x_(BlockFile::open(x_path, File::Mode::kReadWrite)),
      y_(BlockFile::open(y_path, File::Mode::kReadWrite)),
      order_(std::move(order)) {
    header_ = x_.header();
    for (std::size_t i = 0; i < header_.key_fields && i < header_.fields.size(); ++i)
        key_width_ += header_.fields[i].descriptor.width();
    const TableHeader& y = y_.header();
    if (!is_index_tree_file(y.file_type) || y.fields_width() != key_width_)
        y_.fail("its keys do not match the entries of " + x_.name());
    if (header_.records_per_block() < 2 || y.records_per_block() < 3)
        x_.fail("its blocks are too small for its entries");
    tree_ = std::make_unique<PrimaryIndexWriter>(y_, order_);

    // The tree must describe the chain as it is before anything is added to it.
    std::vector<IndexLeaf> leaves = tree_->leaves();
    std::size_t at = 0;
    std::uint64_t entries = 0;
    BlockChainWalk walk(x_, header_.first_block, "chain of index blocks");
    for (DataBlockHeader head; !walk.done(); walk.advance(head.next_block)) {
        const std::uint32_t b = walk.block();
        // Only the block headers are read: the chain, and the counts the tree must hold.
        head = walk.read_header();
        if (auto problem = head.problem(header_.record_size, header_.block_size()))
            x_.fail("block " + std::to_string(b) + ": " + *problem);
        const std::size_t count = head.record_count(header_.record_size);
        entries += count;
        if (count > 0 &&
            (at >= leaves.size() || leaves[at].block != b || leaves[at++].count != count))
            y_.fail("it does not describe the blocks of " + x_.name() +
                    "; the index must be rebuilt");
    }
    if (at != leaves.size() || entries != header_.num_records)
        y_.fail("it does not describe the blocks of " + x_.name() + "; the index must be rebuilt");
}

int IndexEntryWriter::compare(Bytes a, Bytes b) const {
    if (auto order = order_.certain_compare(a, b)) return *order;
    throw vaq::Error("The sort order " + header_.sort_order_id + " of " + x_.name() +
                     " cannot place this key among the others; nothing was written.");
}

// The first slot whose key is above `key`: equal keys keep the order they came in.
std::size_t IndexEntryWriter::upper_bound(const BlockImage& image, Bytes key) const {
    std::size_t low = 0;
    std::size_t high = image.count();
    while (low < high) {
        const std::size_t mid = (low + high) / 2;
        if (compare(key_of(image.record(mid)), key) <= 0)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

BlockImage& IndexEntryWriter::block(std::uint16_t number) {
    auto it = blocks_.find(number);
    if (it != blocks_.end()) return it->second;
    std::vector<std::uint8_t> buffer;
    x_.read_data_block(number, buffer);
    return blocks_.emplace(number, BlockImage(number, std::move(buffer), header_.record_size))
        .first->second;
}

BlockImage& IndexEntryWriter::allocate() {
    std::uint16_t number = header_.first_free_block;
    if (number != 0) {
        if (number > header_.file_blocks)
            x_.fail("its free list leads to block " + std::to_string(number) +
                    ", outside the file");
        header_.first_free_block = block(number).next();
    } else {
        if (header_.file_blocks >= kMaxBlocks)
            throw vaq::Error("Table is full: " + x_.name() + " has 65535 blocks.");
        number = static_cast<std::uint16_t>(header_.file_blocks + 1);
        set_file_blocks(header_, number);
    }
    blocks_.erase(number);
    dirty_.insert(number);
    return blocks_.emplace(number, BlockImage(number, header_.block_size(), header_.record_size))
        .first->second;
}

void IndexEntryWriter::link_after(BlockImage& existing, BlockImage& added) {
    added.set_prev(existing.number());
    added.set_next(existing.next());
    if (existing.next() != 0) {
        block(existing.next()).set_prev(added.number());
        dirty_.insert(existing.next());
    } else {
        header_.last_block = added.number();
    }
    existing.set_next(added.number());
    ++header_.blocks_in_use;
    dirty_.insert(existing.number());
}

void IndexEntryWriter::unlink_and_free(std::uint16_t number) {
    BlockImage& image = block(number);
    const std::uint16_t prev = image.prev();
    const std::uint16_t next = image.next();
    if (prev != 0) {
        block(prev).set_next(next);
        dirty_.insert(prev);
    } else {
        header_.first_block = next;
    }
    if (next != 0) {
        block(next).set_prev(prev);
        dirty_.insert(next);
    } else {
        header_.last_block = prev;
    }
    --header_.blocks_in_use;
    image.clear();
    image.set_prev(0);
    image.set_next(header_.first_free_block);
    header_.first_free_block = number;
    dirty_.insert(number);
}

void IndexEntryWriter::insert(Bytes entry) {
    const Bytes key = key_of(entry);
    changed_ = true;
    ++header_.num_records;
    if (tree_->empty()) {
        // An empty file: its first block, left empty by the last removal, or a new one.
        BlockImage* head = nullptr;
        if (header_.first_block != 0) {
            head = &block(header_.first_block);
        } else {
            head = &allocate();
            head->set_prev(0);
            head->set_next(0);
            header_.first_block = header_.last_block = head->number();
            header_.blocks_in_use = 1;
        }
        head->insert(head->count(), entry.data());
        dirty_.insert(head->number());
        tree_->insert_after(0, head->number(), key_of(head->record(0)),
                            static_cast<std::uint32_t>(head->count()));
        return;
    }
    const std::uint16_t number = tree_->find_block(key);
    BlockImage& image = block(number);
    const std::size_t slot = upper_bound(image, key);
    dirty_.insert(number);
    if (!image.full()) {
        image.insert(slot, entry.data());
        tree_->set_count(number, static_cast<std::uint32_t>(image.count()));
        if (slot == 0) tree_->set_first_key(number, key);
        return;
    }
    if (!tree_->has_room_for_split())
        throw vaq::Error("Table is full: " + y_.name() + " has no room for more index blocks.");
    const bool after_last_entry = image.next() == 0 && slot == image.count();
    BlockImage& added = allocate();
    link_after(image, added);
    if (after_last_entry) {
        added.insert(0, entry.data());
        tree_->insert_after(number, added.number(), key, 1);
        return;
    }
    const std::size_t keep = image.count() / 2;
    added.append_from(image, keep, image.count() - keep);
    image.truncate(keep);
    if (slot <= keep)
        image.insert(slot, entry.data());
    else
        added.insert(slot - keep, entry.data());
    tree_->set_count(number, static_cast<std::uint32_t>(image.count()));
    if (slot == 0) tree_->set_first_key(number, key);
    tree_->insert_after(number, added.number(), key_of(added.record(0)),
                        static_cast<std::uint32_t>(added.count()));
}

// Entries equal to `probe` under the order may stand in the blocks before the one the tree
// names (equal keys are not told apart there), so the walk starts further back when the
// block before ends with such an entry.
std::optional<IndexEntryWriter::Place> IndexEntryWriter::locate(Bytes probe, const Visitor& visit) {
    if (tree_->empty()) return std::nullopt;
    const Bytes key = key_of(probe);
    std::uint16_t number = tree_->find_block(key);
    while (true) {
        const BlockImage& image = block(number);
        if (image.prev() == 0) break;
        const BlockImage& before = block(image.prev());
        if (before.count() == 0 ||
            order_.compare(key_of(before.record(before.count() - 1)), key) < 0)
            break;
        number = image.prev();
    }
    std::size_t slot = 0;
    {
        const BlockImage& image = block(number);
        while (slot < image.count() && order_.compare(key_of(image.record(slot)), key) < 0)
            ++slot;
    }
    while (number != 0) {
        const BlockImage& image = block(number);
        for (; slot < image.count(); ++slot) {
            switch (visit(image.record(slot))) {
                case Scan::kSkip:
                    break;
                case Scan::kStop:
                    return std::nullopt;
                case Scan::kTake:
                    return Place{number, slot};
            }
        }
        number = image.next();
        slot = 0;
    }
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> IndexEntryWriter::find(Bytes probe, const Visitor& visit) {
    const auto place = locate(probe, visit);
    if (!place) return std::nullopt;
    const Bytes entry = block(place->block).record(place->slot);
    return std::vector<std::uint8_t>(entry.begin(), entry.end());
}

void IndexEntryWriter::take_over_next(BlockImage& head) {
    const std::uint16_t other = head.next();
    BlockImage& neighbour = block(other);
    head.append_from(neighbour, 0, neighbour.count());
    unlink_and_free(other);
    tree_->remove(other);
    tree_->set_count(head.number(), static_cast<std::uint32_t>(head.count()));
    tree_->set_first_key(head.number(), key_of(head.record(0)));
}

std::optional<std::vector<std::uint8_t>> IndexEntryWriter::remove(Bytes probe,
                                                                  const Visitor& visit) {
    const auto place = locate(probe, visit);
    if (!place) return std::nullopt;
    changed_ = true;
    --header_.num_records;
    BlockImage& image = block(place->block);
    const Bytes taken = image.record(place->slot);
    std::vector<std::uint8_t> entry(taken.begin(), taken.end());
    image.erase(place->slot);
    dirty_.insert(place->block);
    if (image.count() > 0) {
        tree_->set_count(place->block, static_cast<std::uint32_t>(image.count()));
        if (place->slot == 0) tree_->set_first_key(place->block, key_of(image.record(0)));
    } else if (place->block != header_.first_block) {
        unlink_and_free(place->block);
        tree_->remove(place->block);
    } else if (image.next() != 0) {
        // The first block of the chain stays; it takes over its neighbour's entries.
        take_over_next(image);
    } else {
        // The last entry is gone: the first block stays, empty, and the tree is empty.
        tree_->remove(place->block);
    }
    return entry;
}

void IndexEntryWriter::set_sync_stamp(std::uint8_t stamp) {
    if (header_.index_sync_stamp == stamp) return;
    header_.index_sync_stamp = stamp;
    changed_ = true;
}

void IndexEntryWriter::write_sync_stamp(std::uint8_t stamp) {
    if (x_.header().index_sync_stamp == stamp) return;
    TableHeader header = x_.header();
    header.index_sync_stamp = stamp;
    const std::vector<std::uint8_t> encoded = header.encode();
    x_.file().write_at(0, Bytes(encoded).first(kFixedHeaderSize));
    x_.set_header(std::move(header));
    header_.index_sync_stamp = stamp;
}

void IndexEntryWriter::stage(ChangeJournal::Change& change) {
    if (!changed_) return;
    for (std::uint16_t number : dirty_)
        change.write(x_.file(), header_.block_offset(number), blocks_.at(number).encode());
    const std::vector<std::uint8_t> encoded = header_.encode();
    change.write(x_.file(), 0, Bytes(encoded).first(kFixedHeaderSize));
    if (tree_->changed()) tree_->stage(change);
}

void IndexEntryWriter::committed() {
    if (!changed_) return;
    x_.set_header(header_);
    x_.refresh_size();
    tree_->committed();
    blocks_.clear();
    dirty_.clear();
    changed_ = false;
    unflushed_ = true;
}

void IndexEntryWriter::discard() {
    header_ = x_.header();
    blocks_.clear();
    dirty_.clear();
    if (tree_->changed()) tree_->reload();
    changed_ = false;
}

void IndexEntryWriter::flush() {
    if (!unflushed_) return;
    x_.file().sync();
    y_.file().sync();
    unflushed_ = false;
}

// --- SecondaryIndexMaintainer -----------------------------------------------------------

namespace {

using Scan = IndexEntryWriter::Scan;

// Tup No, Blk Num and Tup Offset after the indexed fields of a non-maintained entry.
constexpr std::size_t kPositionWidth = 8;

struct MaintainedIndex {
    SecondaryIndex index;
    SecondaryIndexDefinition definition;
    IndexEntryLayout maker;
    KeyOrder order;          // the X key
    KeyOrder indexed_order;  // the indexed fields alone
    std::unique_ptr<IndexEntryWriter> writer;
    bool stale = false;  // not maintained: to be built again
};

KeyOrder indexed_order_of(const Table& table, const KeyOrder& order, const IndexEntryLayout& maker,
                          bool case_insensitive) {
    const std::size_t indexed = maker.indexed_parts().size();
    std::vector<KeyOrder::Part> parts(order.parts().begin(),
                                      order.parts().begin() + static_cast<std::ptrdiff_t>(indexed));
    return KeyOrder(std::move(parts), alpha_collation_of(table.header()), case_insensitive);
}

EntryTarget target_of(RecordPosition at, std::uint32_t number) {
    return {number, static_cast<std::uint16_t>(at.block), static_cast<std::uint16_t>(at.slot)};
}

class SecondaryIndexMaintainer final : public IndexMaintainer {
  public:
    explicit SecondaryIndexMaintainer(Table& table) : table_(table) { load(); }

    void inserted(Bytes record, RecordPosition at, std::uint32_t number,
                  ChangeJournal::Change& change) override;
    void removed(Bytes record, RecordPosition at, std::uint32_t number,
                 ChangeJournal::Change& change) override;
    bool entries_differ(Bytes before, Bytes after) const override;
    // An index created or deleted in this process since the last load may be one of this
    // table: then it may follow the records.
    bool follows_nothing() const override {
        return indexes_.empty() && secondary_index_changes() == changes_seen_;
    }
    void committed() override;
    void discarded() override;
    void flush() override;

  private:
    void load();
    void begin_change();
    bool same_primary_key(Bytes a, Bytes b) const;
    std::uint8_t stored_primary_stamp() const;
    void remove_maintained(MaintainedIndex& m, Bytes record);
    void remove_snapshot(MaintainedIndex& m, Bytes record, EntryTarget at);
    void stage(ChangeJournal::Change& change);
    void finish_change();

    Table& table_;
    std::size_t key_length_ = 0;
    std::optional<std::filesystem::path> primary_file_;
    std::vector<MaintainedIndex> indexes_;
    std::uint64_t generation_ = 0;
    std::uint64_t changes_seen_ = 0;
    // The change in progress: what it removed and stored, and where.
    bool in_change_ = false;
    std::optional<std::vector<std::uint8_t>> removed_;
    std::optional<std::vector<std::uint8_t>> inserted_;
    std::optional<EntryTarget> removed_at_;
    std::optional<EntryTarget> inserted_at_;
    std::uint32_t records_before_ = 0;
    std::uint16_t last_block_before_ = 0;
    std::uint16_t blocks_before_ = 0;
    std::uint8_t staged_stamp_ = 0;
};

void SecondaryIndexMaintainer::load() {
    indexes_.clear();
    key_length_ = 0;
    for (std::size_t k = 0; k < table_.schema().key_fields(); ++k)
        key_length_ += table_.schema()[k].width();
    primary_file_ = primary_index_file(table_);
    changes_seen_ = secondary_index_changes();
    generation_ = secondary_index_generation(table_.path());
    for (SecondaryIndex& index : list_secondary_indexes(table_)) {
        if (!index.tree_file)
            throw FormatError("The index " + index.name + " of " + table_.name() +
                              " has lost its tree file " +
                              tree_file_name(table_.path(), index.suffix) +
                              "; the table must be rebuilt before it can be changed.");
        SecondaryIndexDefinition definition = definition_of(index);
        IndexEntryLayout maker(table_.header(), definition);
        KeyOrder order = entry_order(table_, maker, definition.case_insensitive);
        KeyOrder indexed = indexed_order_of(table_, order, maker, definition.case_insensitive);
        auto writer = std::make_unique<IndexEntryWriter>(index.index_file, *index.tree_file, order);
        const bool stale = index.stale;
        indexes_.push_back({std::move(index), std::move(definition), std::move(maker),
                            std::move(order), std::move(indexed), std::move(writer), stale});
    }
}

bool SecondaryIndexMaintainer::same_primary_key(Bytes a, Bytes b) const {
    return std::memcmp(a.data(), b.data(), key_length_) == 0;
}

std::uint8_t SecondaryIndexMaintainer::stored_primary_stamp() const {
    if (!primary_file_) return 0;
    std::uint8_t stamp = 0;
    File::open(*primary_file_).read_at(kIndexStampOffset, MutableBytes(&stamp, 1));
    return stamp;
}

void SecondaryIndexMaintainer::begin_change() {
    if (in_change_) return;
    // Any index created or deleted in this process since: perhaps one of this table.
    if (secondary_index_changes() != changes_seen_) {
        changes_seen_ = secondary_index_changes();
        if (secondary_index_generation(table_.path()) != generation_) load();
    }
    in_change_ = true;
    records_before_ = table_.record_count();
    last_block_before_ = table_.header().last_block;
    blocks_before_ = table_.header().blocks_in_use;
}

void SecondaryIndexMaintainer::remove_maintained(MaintainedIndex& m, Bytes record) {
    const std::vector<std::uint8_t> probe = m.maker.make_entry(record, {});
    const std::size_t pk_at = m.maker.indexed_width();
    const auto removed = m.writer->remove(probe, [&](Bytes entry) {
        if (m.order.compare(entry, probe) > 0) return Scan::kStop;
        const bool same =
            std::memcmp(entry.data() + pk_at, probe.data() + pk_at, key_length_) == 0 &&
            m.indexed_order.same_key(entry, probe);
        return same ? Scan::kTake : Scan::kSkip;
    });
    if (!removed)
        throw FormatError("The index " + m.index.name + " of " + table_.name() +
                          " has no entry for a record it should hold; the table must be "
                          "rebuilt before it can be changed.");
}

// The entry that points at the record's place; an index without it no longer describes the
// table and is built anew.
void SecondaryIndexMaintainer::remove_snapshot(MaintainedIndex& m, Bytes record, EntryTarget at) {
    const std::size_t pointers = m.maker.indexed_width();
    const std::vector<std::uint8_t> exact = m.maker.make_entry(record, at);
    const auto removed = m.writer->remove(exact, [&](Bytes entry) {
        if (m.indexed_order.compare(entry, exact) > 0) return Scan::kStop;
        return std::memcmp(entry.data() + pointers, exact.data() + pointers, kPositionWidth) == 0
                   ? Scan::kTake
                   : Scan::kSkip;
    });
    if (!removed) m.stale = true;
}

void SecondaryIndexMaintainer::removed(Bytes record, RecordPosition at, std::uint32_t number,
                                       ChangeJournal::Change& change) {
    begin_change();
    removed_.emplace(record.begin(), record.end());
    removed_at_ = target_of(at, number);
    for (MaintainedIndex& m : indexes_) {
        if (m.definition.maintained)
            remove_maintained(m, record);
        else if (!m.stale)
            remove_snapshot(m, record, *removed_at_);
    }
    stage(change);
}

// Entries of indexes that are not maintained point at places: they follow a record changed
// where it stands and a record stored after the last one of an unkeyed table, which move
// no other record. Anything else moves records, and such an index is built anew.
void SecondaryIndexMaintainer::inserted(Bytes record, RecordPosition at, std::uint32_t number,
                                        ChangeJournal::Change& change) {
    begin_change();
    // Without an index of the table there is nothing to keep (the batches of an import).
    if (indexes_.empty()) return;
    inserted_.emplace(record.begin(), record.end());
    inserted_at_ = target_of(at, number);
    const bool in_place = removed_at_ && removed_at_->block == inserted_at_->block &&
                          removed_at_->slot == inserted_at_->slot &&
                          removed_at_->tuple == inserted_at_->tuple;
    const bool appended = !removed_ && !table_.is_keyed() && number == records_before_ + 1;
    for (MaintainedIndex& m : indexes_) {
        if (m.definition.maintained)
            m.writer->insert(m.maker.make_entry(record, *inserted_at_));
        else if (!m.stale && (in_place || appended))
            m.writer->insert(m.maker.make_entry(record, *inserted_at_));
        else
            m.stale = true;
    }
    stage(change);
}

// An entry is made of the indexed fields, the primary key and the record's place; a record
// changed in place keeps its place and key, so only the indexed fields can move its entries.
// A stale index is built anew at the next flush whatever happens now.
bool SecondaryIndexMaintainer::entries_differ(Bytes before, Bytes after) const {
    const EntryTarget here = target_of(RecordPosition{1, 0}, 1);
    for (const MaintainedIndex& m : indexes_)
        if (!m.stale && m.maker.make_entry(before, here) != m.maker.make_entry(after, here))
            return true;
    return false;
}

// Every index's writes, with the .PX stamp the change will leave: the table writer moves it
// on whenever the primary index changes, which every change does except a record changed
// in place with its key kept.
void SecondaryIndexMaintainer::stage(ChangeJournal::Change& change) {
    const bool keyed = table_.is_keyed() && !indexes_.empty();
    if (keyed) {
        const bool kept = removed_ && inserted_ && same_primary_key(*removed_, *inserted_);
        staged_stamp_ = static_cast<std::uint8_t>(stored_primary_stamp() + (kept ? 0 : 1));
    }
    for (MaintainedIndex& m : indexes_) {
        if (m.stale) continue;
        if (keyed) m.writer->set_sync_stamp(staged_stamp_);
        m.writer->stage(change);
    }
}

void SecondaryIndexMaintainer::finish_change() {
    in_change_ = false;
    removed_.reset();
    inserted_.reset();
    removed_at_.reset();
    inserted_at_.reset();
}

void SecondaryIndexMaintainer::committed() {
    // Removing the last record of an unkeyed table moves no other record, unless its block
    // was merged with its neighbour or freed.
    const TableHeader& h = table_.header();
    const bool blocks_kept =
        h.last_block == last_block_before_ && h.blocks_in_use == blocks_before_;
    const bool moved_others =
        removed_ && !inserted_ &&
        (table_.is_keyed() || !blocks_kept || removed_at_->tuple != records_before_);
    for (MaintainedIndex& m : indexes_) {
        if (!m.definition.maintained && moved_others) m.stale = true;
        m.writer->committed();
    }
    // The stamp staged with the entries was a forecast; the .PX has the last word.
    if (table_.is_keyed() && in_change_ && !indexes_.empty()) {
        const std::uint8_t stamp = stored_primary_stamp();
        if (stamp != staged_stamp_)
            for (MaintainedIndex& m : indexes_)
                if (!m.stale) m.writer->write_sync_stamp(stamp);
    }
    finish_change();
}

void SecondaryIndexMaintainer::discarded() {
    for (MaintainedIndex& m : indexes_)
        m.writer->discard();
    finish_change();
}

void SecondaryIndexMaintainer::flush() {
    std::vector<SecondaryIndex> stale;
    for (MaintainedIndex& m : indexes_)
        if (m.stale) stale.push_back(m.index);
    if (!stale.empty()) {
        indexes_.clear();
        rebuild_indexes(table_, stale);
        load();
    }
    for (MaintainedIndex& m : indexes_)
        m.writer->flush();
}

}  // namespace

std::unique_ptr<IndexMaintainer> make_secondary_index_maintainer(Table& table) {
    return std::make_unique<SecondaryIndexMaintainer>(table);
}

void rebuild_snapshot_indexes(const Table& table) {
    std::vector<SecondaryIndex> snapshots;
    for (SecondaryIndex& index : list_secondary_indexes(table))
        if (!index.layout.maintained) snapshots.push_back(std::move(index));
    if (!snapshots.empty()) rebuild_indexes(table, snapshots);
}

}  // namespace pdx
