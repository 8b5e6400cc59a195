#include "engine/table/table_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <limits>

#include "common/error.h"
#include "engine/format/block_chain.h"
#include "engine/format/field_codec.h"
#include "engine/format/format_error.h"
#include "engine/format/header_counters.h"
#include "engine/table/crash_points.h"
#include "engine/table/index_catalog.h"
#include "engine/table/table.h"
#include "engine/table/table_name.h"

namespace pdx {

namespace fs = std::filesystem;

namespace {

constexpr std::uint16_t kMaxBlocks = 0xFFFF;
// Paradox ignores a .PX next to a table whose change counter (0x2D) is below 2.
constexpr std::uint8_t kLowestChangeCount = 2;

[[noreturn]] void key_violation(const Table& table) {
    throw vaq::Error("Key violation in " + table.name() + ".");
}

[[noreturn]] void table_full(const Table& table) {
    throw vaq::Error("Table is full: " + table.name() + " has 65535 blocks.");
}

// Every change moves the change counter 0x2D on (to its lowest value) and the update time.
void stamp_change(TableHeader& header) {
    if (header.change_count1 < kLowestChangeCount) header.change_count1 = kLowestChangeCount;
    if (header.has_extension()) header.update_time = static_cast<std::uint32_t>(std::time(nullptr));
}

// Gives each empty auto-increment field of `record` the next value of the counter (with
// `fill_empty`), and moves the counter up to a value a record brings. The counter is the last
// value handed out, never below a value written.
void assign_auto_increment(const std::vector<const Field*>& fields, const Table& table,
                           TableHeader& header, std::uint8_t* record, bool fill_empty) {
    for (const Field* field : fields) {
        const Field& f = *field;
        std::uint8_t* bytes = record + f.offset;
        const auto value = decode_long(bytes);
        if (!value) {
            if (!fill_empty) continue;
            if (header.auto_inc >=
                static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
                throw vaq::Error("The auto-increment values of field " + f.name + " in " +
                                 table.name() + " are used up.");
            ++header.auto_inc;
            encode_long(static_cast<std::int32_t>(header.auto_inc), bytes);
        } else if (*value > 0 && static_cast<std::uint32_t>(*value) > header.auto_inc) {
            header.auto_inc = static_cast<std::uint32_t>(*value);
        }
    }
}

// True when `record` holds an auto-increment value above `counter`.
bool raises_auto_increment(const std::vector<const Field*>& fields, std::uint32_t counter,
                           Bytes record) {
    for (const Field* field : fields) {
        const auto value = decode_long(record.data() + field->offset);
        if (value && *value > 0 && static_cast<std::uint32_t>(*value) > counter) return true;
    }
    return false;
}

}  // namespace

// What one change has read and changed so far. One is kept and reused, so that a change
// copies the header into storage it already has.
struct TableWriter::Work {
    TableHeader header;
    ChangeJournal::Change change;
    // Set when the change only replaced the record at this place, its key kept.
    std::optional<RecordPosition> in_place;
    std::vector<std::uint8_t> replaced;  // the record as it was there
    std::vector<std::uint8_t> record;    // the record being stored
};

// Puts back what the writer holds in memory when a change stops before it is committed: by
// an error, or by a caller that gives it up. The positions it reported for the change's
// records are taken back with it.
class TableWriter::ChangeGuard {
  public:
    explicit ChangeGuard(TableWriter& writer, std::vector<RecordPosition>* placed = nullptr)
        : writer_(writer), placed_(placed), placed_before_(placed ? placed->size() : 0) {}
    ChangeGuard(const ChangeGuard&) = delete;
    ChangeGuard& operator=(const ChangeGuard&) = delete;
    ~ChangeGuard() {
        if (committed_) return;
        writer_.discard();
        if (placed_) placed_->resize(placed_before_);
    }
    void committed() { committed_ = true; }

  private:
    TableWriter& writer_;
    std::vector<RecordPosition>* placed_;
    std::size_t placed_before_;
    bool committed_ = false;
};

TableWriter::TableWriter(Table& table)
    : table_(table),
      blobs_(table),
      journal_(table.path()),
      pager_(table.data_file(), journal_),
      work_(std::make_unique<Work>()) {
    const TableHeader& h = table_.header();
    if (table_.is_encrypted())
        throw vaq::Error(table_.name() +
                         " is protected by a password; this engine does not change it.");
    record_size_ = h.record_size;
    block_size_ = h.block_size();
    for (const Field& f : table_.schema().fields())
        if (f.type() == FieldType::kAutoInc) auto_increment_fields_.push_back(&f);

    if (table_.is_keyed()) {
        key_.emplace(h, table_.name());
        const auto px = primary_index_file(table_);
        if (!px)
            throw vaq::Error("The primary index of " + table_.name() +
                             " is missing; the table must be rebuilt before it can be changed.");
        index_file_.emplace(BlockFile::open(*px, File::Mode::kReadWrite));
        const TableHeader& ph = index_file_->header();
        bool matches = ph.file_type == FileType::kPrimaryIndex && ph.fields.size() == h.key_fields;
        for (std::size_t i = 0; matches && i < ph.fields.size(); ++i)
            matches = ph.fields[i].descriptor == h.fields[i].descriptor;
        if (!matches)
            throw FormatError("The primary index " + index_file_->name() + " does not belong to " +
                              table_.name() + ".");
        index_ = std::make_unique<PrimaryIndexWriter>(*index_file_, key_->order());
    }

    // The maintainer also follows indexes created while the table is open for writing.
    if (index_maintainer_factory()) {
        maintainer_ = index_maintainer_factory()(table_);
    } else {
        for (const SecondaryIndex& index : list_secondary_indexes(table_))
            if (index.layout.maintained)
                throw vaq::Error(table_.name() + " has the maintained index " + index.name +
                                 ", which this engine cannot keep up to date yet; the table "
                                 "can only be read.");
    }
}

// The chain of data blocks must be sound, and the .PX must describe it, before anything is
// added to the chain or taken from it: only the block headers are read. A record changed
// where it stands touches neither, so a writer that only does that never needs the check.
void TableWriter::check_chain() {
    if (chain_checked_) return;
    const TableHeader& h = table_.header();
    std::vector<std::pair<std::uint16_t, std::uint32_t>> chain;
    {
        const BlockFile& data = table_.data_file();
        std::uint64_t records = 0;
        BlockChainWalk walk(data, h.first_block, "chain of data blocks");
        for (DataBlockHeader head; !walk.done(); walk.advance(head.next_block)) {
            const std::uint32_t block = walk.block();
            head = walk.read_header();
            if (auto problem = head.problem(record_size_, block_size_))
                data.fail("block " + std::to_string(block) + ": " + *problem);
            if (head.prev_block != walk.from())
                data.fail("block " + std::to_string(block) + " names block " +
                          std::to_string(head.prev_block) + " as its predecessor instead of " +
                          std::to_string(walk.from()));
            const std::size_t count = head.record_count(record_size_);
            chain.emplace_back(static_cast<std::uint16_t>(block),
                               static_cast<std::uint32_t>(count));
            records += count;
        }
        const std::uint32_t prev = walk.from();
        if (prev != h.last_block)
            data.fail("its chain ends at block " + std::to_string(prev) +
                      " but its header names block " + std::to_string(h.last_block));
        if (chain.size() != h.blocks_in_use)
            data.fail("its chain holds " + std::to_string(chain.size()) +
                      " blocks but its header counts " + std::to_string(h.blocks_in_use));
        if (records != h.num_records)
            data.fail("its blocks hold " + std::to_string(records) +
                      " records but its header counts " + std::to_string(h.num_records));
    }

    if (index_) {
        // The index has an entry for each block that holds records. An emptied table keeps
        // block 1 in its chain without one; tables written before kept an entry of 0 records
        // for it, which is accepted too.
        std::vector<IndexLeaf> leaves = index_->leaves();
        std::erase_if(leaves, [](const IndexLeaf& leaf) { return leaf.count == 0; });
        std::erase_if(chain, [](const auto& block) { return block.second == 0; });
        bool agrees = leaves.size() == chain.size();
        for (std::size_t i = 0; agrees && i < leaves.size(); ++i)
            agrees = leaves[i].block == chain[i].first && leaves[i].count == chain[i].second;
        if (!agrees)
            throw FormatError("The primary index of " + table_.name() +
                              " does not match its data; the table must be rebuilt before it "
                              "can be changed.");
    }
    chain_checked_ = true;
}

TableWriter::~TableWriter() {
    if (!unflushed_ && !pager_.holds_changes()) return;
    try {
        flush();
    } catch (const vaq::Error& e) {
        // A destructor cannot pass the error on; the changes are with the operating system.
        std::fprintf(stderr, "%s\n", e.what());
    }
}

void TableWriter::save_changes() {
    pager_.write_held_changes();
}

void TableWriter::flush() {
    pager_.write_held_changes();
    table_.data_file().file().sync();
    if (index_file_) index_file_->file().sync();
    blobs_.sync();
    if (maintainer_) maintainer_->flush();
    unflushed_ = false;
}

TableWriter::Statement::Statement(TableWriter& writer) : writer_(writer) {
    writer_.save_changes();
    writer_.journal_.begin_group();
}

TableWriter::Statement::~Statement() {
    if (!finished_) writer_.journal_.abandon_group();
}

void TableWriter::Statement::finish() {
    writer_.flush();
    writer_.journal_.end_group();
    finished_ = true;
}

// --- blocks -------------------------------------------------------------------------------

BlockImage& TableWriter::allocate(Work& w) {
    std::uint16_t number = w.header.first_free_block;
    if (number != 0) {
        if (number > w.header.file_blocks)
            table_.data_file().fail("its free list leads to block " + std::to_string(number) +
                                    ", outside the file");
        w.header.first_free_block = pager_.next_block_of(number, w.header);
    } else {
        if (w.header.file_blocks >= kMaxBlocks) table_full(table_);
        number = static_cast<std::uint16_t>(w.header.file_blocks + 1);
        set_file_blocks(w.header, number);
    }
    return pager_.new_block(number);
}

void TableWriter::link_only(Work& w, BlockImage& added) {
    added.set_prev(0);
    added.set_next(0);
    w.header.first_block = w.header.last_block = added.number();
    w.header.blocks_in_use = 1;
    pager_.mark_dirty(added.number());
}

void TableWriter::link_after(Work& w, BlockImage& existing, BlockImage& added) {
    added.set_prev(existing.number());
    added.set_next(existing.next());
    if (existing.next() != 0) {
        pager_.block(existing.next()).set_prev(added.number());
        pager_.mark_dirty(existing.next());
    } else {
        w.header.last_block = added.number();
    }
    existing.set_next(added.number());
    ++w.header.blocks_in_use;
    pager_.mark_dirty(existing.number());
    pager_.mark_dirty(added.number());
}

void TableWriter::unlink_and_free(Work& w, std::uint16_t number) {
    BlockImage& image = pager_.block(number);
    const std::uint16_t prev = image.prev();
    const std::uint16_t next = image.next();
    if (prev != 0) {
        pager_.block(prev).set_next(next);
        pager_.mark_dirty(prev);
    } else {
        w.header.first_block = next;
    }
    if (next != 0) {
        pager_.block(next).set_prev(prev);
        pager_.mark_dirty(next);
    } else {
        w.header.last_block = prev;
    }
    --w.header.blocks_in_use;
    image.clear();
    image.set_prev(0);
    image.set_next(w.header.first_free_block);
    w.header.first_free_block = number;
    pager_.mark_dirty(number);
}

void TableWriter::check_key_free(Bytes key) {
    if (index_->empty()) return;
    const BlockImage& image = pager_.block(index_->find_block(key));
    bool same = false;
    const std::size_t slot = key_->lower_bound(image, key, same);
    if (same) key_violation(table_);
    if (slot == 0 && image.prev() != 0) {
        const BlockImage& before = pager_.block(image.prev());
        if (before.count() > 0) {
            const Bytes last = key_->of(before.record(before.count() - 1));
            if (key_->same(last, key)) key_violation(table_);
            if (key_->compare(last, key) > 0)
                throw FormatError("The primary index of " + table_.name() +
                                  " does not match its data; the table must be rebuilt.");
        }
    }
}

std::uint32_t TableWriter::number_of(Work& w, RecordPosition at) {
    if (index_) return index_->records_before(static_cast<std::uint16_t>(at.block)) + at.slot + 1;
    std::uint32_t before = 0;
    for (std::uint16_t b = w.header.first_block; b != 0 && b != at.block;) {
        const BlockImage& image = pager_.block(b);
        before += static_cast<std::uint32_t>(image.count());
        b = image.next();
    }
    return before + at.slot + 1;
}

// --- inserting ----------------------------------------------------------------------------

StoredRecord TableWriter::insert_record(Work& w, std::vector<std::uint8_t>& record) {
    StoredRecord stored =
        index_ ? insert_keyed(w, record.data()) : insert_unkeyed(w, record.data());
    ++w.header.num_records;
    if (index_) stored.record_number = number_of(w, stored.position);
    return stored;
}

StoredRecord TableWriter::insert_keyed(Work& w, const std::uint8_t* record) {
    const Bytes key = key_->of(Bytes(record, record_size_));
    if (index_->empty()) {
        // An empty table: no blocks yet, or block 1 left in the chain without records (and
        // without an index entry, as for every block without records).
        BlockImage* target = nullptr;
        if (w.header.first_block == 0) {
            target = &allocate(w);
            link_only(w, *target);
        } else {
            target = &pager_.block(w.header.first_block);
            if (target->count() != 0)
                throw FormatError("The primary index of " + table_.name() +
                                  " is empty while the table holds records; the table must be "
                                  "rebuilt.");
            pager_.mark_dirty(target->number());
        }
        target->insert(0, record);
        index_->insert_after(0, target->number(), key, 1);
        return {{target->number(), 0}, 0};
    }
    // The caller has checked that the key is free.
    const std::uint16_t number = index_->find_block(key);
    BlockImage& image = pager_.block(number);
    bool same = false;
    const std::size_t slot = key_->lower_bound(image, key, same);
    if (!image.full()) {
        image.insert(slot, record);
        pager_.mark_dirty(number);
        index_->set_count(number, static_cast<std::uint32_t>(image.count()));
        if (slot == 0) index_->set_first_key(number, key);
        return {{number, static_cast<std::uint32_t>(slot)}, 0};
    }
    if (!index_->has_room_for_split()) table_full(table_);
    const bool after_last_record = image.next() == 0 && slot == image.count();
    BlockImage& added = allocate(w);
    link_after(w, image, added);
    if (after_last_record) {
        // After the last record of the table: a new last block, no split.
        added.insert(0, record);
        index_->insert_after(number, added.number(), key, 1);
        return {{added.number(), 0}, 0};
    }
    const std::size_t keep = image.count() / 2;
    added.append_from(image, keep, image.count() - keep);
    image.truncate(keep);
    RecordPosition at;
    if (slot <= keep) {
        image.insert(slot, record);
        at = {number, static_cast<std::uint32_t>(slot)};
    } else {
        added.insert(slot - keep, record);
        at = {added.number(), static_cast<std::uint32_t>(slot - keep)};
    }
    index_->set_count(number, static_cast<std::uint32_t>(image.count()));
    if (slot == 0) index_->set_first_key(number, key);
    index_->insert_after(number, added.number(), key_->of(added.record(0)),
                         static_cast<std::uint32_t>(added.count()));
    return {at, 0};
}

// The last block of an unkeyed table when it has room, otherwise a new block linked after
// it (the first one of an empty table).
BlockImage& TableWriter::block_to_append_to(Work& w) {
    if (w.header.first_block == 0) {
        BlockImage& first = allocate(w);
        link_only(w, first);
        return first;
    }
    BlockImage& last = pager_.block(w.header.last_block);
    if (!last.full()) return last;
    BlockImage& added = allocate(w);
    link_after(w, last, added);
    return added;
}

StoredRecord TableWriter::insert_unkeyed(Work& w, const std::uint8_t* record) {
    BlockImage& target = block_to_append_to(w);
    const std::size_t slot = target.count();
    target.insert(slot, record);
    pager_.mark_dirty(target.number());
    return {{target.number(), static_cast<std::uint32_t>(slot)}, w.header.num_records + 1};
}

// --- removing -----------------------------------------------------------------------------

std::optional<StoredRecord> TableWriter::remove_at(Work& w, RecordPosition at,
                                                   std::uint32_t number) {
    const auto b = static_cast<std::uint16_t>(at.block);
    BlockImage& image = pager_.block(b);
    image.erase(at.slot);
    pager_.mark_dirty(b);
    --w.header.num_records;
    count_delete(w.header);
    if (index_) {
        index_->set_count(b, static_cast<std::uint32_t>(image.count()));
        if (at.slot == 0 && image.count() > 0) index_->set_first_key(b, key_->of(image.record(0)));
    }
    std::optional<RecordPosition> next;
    if (image.count() > 0) {
        next = merge_sparse_neighbours(w, b, at.slot);
    } else if (b != 1) {
        const std::uint16_t after = image.next();
        unlink_and_free(w, b);
        if (index_) index_->remove(b);
        if (after != 0) next = RecordPosition{after, 0};
    } else {
        // Block 1 is never freed: it takes over the records of a neighbour instead.
        const bool from_next = image.next() != 0;
        const std::uint16_t other = from_next ? image.next() : image.prev();
        if (other == 0) {
            // The table is empty. Block 1 stays in the chain, and like every block without
            // records it has no entry in the primary index, whose tree is then empty.
            if (index_) index_->remove(1);
        } else {
            BlockImage& neighbour = pager_.block(other);
            image.append_from(neighbour, 0, neighbour.count());
            unlink_and_free(w, other);
            if (index_) {
                index_->remove(other);
                index_->set_count(1, static_cast<std::uint32_t>(image.count()));
                index_->set_first_key(1, key_->of(image.record(0)));
            }
            if (from_next)
                next = RecordPosition{1, 0};
            else if (image.next() != 0)
                next = RecordPosition{image.next(), 0};
        }
    }
    if (!next) return std::nullopt;
    return StoredRecord{*next, number};
}

// Two neighbouring blocks that together fill no more than half a block become one, so
// that deletions do not leave the table spread over nearly empty blocks. Records keep their
// order: the later block's records follow the earlier block's. Returns where the record
// after slot `slot` of block `b` now stands.
std::optional<RecordPosition> TableWriter::merge_sparse_neighbours(Work& w, std::uint16_t b,
                                                                   std::size_t slot) {
    BlockImage& image = pager_.block(b);
    const std::size_t half = image.capacity() / 2;
    const auto fits_with = [&](std::uint16_t other) {
        return other != 0 && other != 1 && image.count() + pager_.block(other).count() <= half;
    };
    const auto after = [&](BlockImage& holder, std::size_t at) -> std::optional<RecordPosition> {
        if (at < holder.count())
            return RecordPosition{holder.number(), static_cast<std::uint32_t>(at)};
        if (holder.next() != 0) return RecordPosition{holder.next(), 0};
        return std::nullopt;
    };
    if (fits_with(image.next())) {
        const std::uint16_t other = image.next();
        image.append_from(pager_.block(other), 0, pager_.block(other).count());
        unlink_and_free(w, other);
        if (index_) {
            index_->remove(other);
            index_->set_count(b, static_cast<std::uint32_t>(image.count()));
        }
        return after(image, slot);
    }
    if (b != 1 && fits_with(image.prev())) {
        BlockImage& previous = pager_.block(image.prev());
        const std::size_t offset = previous.count();
        previous.append_from(image, 0, image.count());
        pager_.mark_dirty(previous.number());
        unlink_and_free(w, b);
        if (index_) {
            index_->remove(b);
            index_->set_count(previous.number(), static_cast<std::uint32_t>(previous.count()));
        }
        return after(previous, offset + slot);
    }
    return after(image, slot);
}

RecordPosition TableWriter::locate(Work& w, const RecordRef& at, std::uint32_t& number) {
    const auto holds = [&](RecordPosition p) {
        if (p.block == 0 || p.block > w.header.file_blocks) return false;
        const BlockImage& image = pager_.block(static_cast<std::uint16_t>(p.block));
        return p.slot < image.count() &&
               std::memcmp(image.record(p.slot).data(), at.record.data(), record_size_) == 0;
    };
    if (at.position && holds(*at.position)) {
        number = at.record_number != 0 ? at.record_number : number_of(w, *at.position);
        return *at.position;
    }
    if (index_ && !index_->empty()) {
        const std::uint16_t b = index_->find_block(key_->of(at.record));
        bool same = false;
        const std::size_t slot = key_->lower_bound(pager_.block(b), key_->of(at.record), same);
        const RecordPosition p{b, static_cast<std::uint32_t>(slot)};
        if (same && holds(p)) {
            number = number_of(w, p);
            return p;
        }
    } else if (!index_) {
        std::uint32_t seen = 0;
        for (std::uint16_t b = w.header.first_block; b != 0;) {
            const BlockImage& image = pager_.block(b);
            for (std::size_t s = 0; s < image.count(); ++s) {
                if (std::memcmp(image.record(s).data(), at.record.data(), record_size_) == 0) {
                    number = seen + static_cast<std::uint32_t>(s) + 1;
                    return {b, static_cast<std::uint32_t>(s)};
                }
            }
            seen += static_cast<std::uint32_t>(image.count());
            b = image.next();
        }
    }
    throw vaq::Error("The record to change is no longer in " + table_.name() + ".");
}

// --- values -------------------------------------------------------------------------------

// --- changes ------------------------------------------------------------------------------

TableWriter::Work& TableWriter::begin_work() {
    refuse_when_unusable();
    check_chain();
    Work& w = *work_;
    w.header = table_.header();
    pager_.begin_change();
    w.change = {};
    w.in_place.reset();
    return w;
}

StoredRecord TableWriter::insert(const EditBuffer& source) {
    Work& w = begin_work();
    ChangeGuard guard(*this);
    const StoredRecord stored = insert_into(w, source);
    commit(w);
    guard.committed();
    return stored;
}

StoredRecord TableWriter::insert_into(Work& w, const EditBuffer& source) {
    std::vector<std::uint8_t>& record = w.record;
    record.assign(source.record().bytes().begin(), source.record().bytes().end());
    assign_auto_increment(auto_increment_fields_, table_, w.header, record.data(), true);
    if (index_ && w.header.first_block != 0) check_key_free(key_->of(record));
    blobs_.place(source, record, {}, true, w.change);
    const StoredRecord stored = insert_record(w, record);
    if (maintainer_) maintainer_->inserted(record, stored.position, stored.record_number, w.change);
    return stored;
}

void TableWriter::insert_all(std::span<const EditBuffer> records, std::size_t& stored,
                             std::vector<RecordPosition>* placed) {
    stored = 0;
    // One change can hold many appended records when nothing but the data file and the .PX
    // follow them: secondary index entries and .MB space are kept one record a change.
    const bool together = !blobs_.any() && (!maintainer_ || maintainer_->follows_nothing());
    if (!together) {
        for (const EditBuffer& record : records) {
            const StoredRecord at = insert(record);
            if (placed) placed->push_back(at.position);
            ++stored;
        }
        return;
    }
    while (stored < records.size()) {
        const std::span<const EditBuffer> rest = records.subspan(stored);
        const std::size_t accepted = insert_together(rest, placed);
        if (accepted == rest.size()) {
            stored = records.size();
            return;
        }
        // A record was refused, and with it the whole change: the records before it are
        // stored again without it, and the refused one is tried alone to pass its error on.
        stored += insert_together(rest.first(accepted), placed);
        const StoredRecord at = insert(records[stored]);
        if (placed) placed->push_back(at.position);
        ++stored;
    }
}

// Stores records from the first on in one change until one is refused; then nothing is
// stored and the number accepted before it is returned. Returns records.size() when all are
// stored. Errors of the change itself pass on.
std::size_t TableWriter::insert_together(std::span<const EditBuffer> records,
                                         std::vector<RecordPosition>* placed) {
    if (records.empty()) return 0;
    Work& w = begin_work();
    ChangeGuard guard(*this, placed);
    std::size_t accepted = 0;
    try {
        if (!index_) append_unkeyed(w, records, accepted, placed);
        for (; accepted < records.size(); ++accepted) {
            const StoredRecord at = insert_into(w, records[accepted]);
            if (placed) placed->push_back(at.position);
        }
    } catch (const vaq::Error&) {
        return accepted;  // the guard forgets the change
    }
    commit(w);
    guard.committed();
    return accepted;
}

// The records of an unkeyed table, in a change that holds nothing but them, go after its last
// record as insert_into() puts them, a block filled after another: each is copied once,
// into its block, and given its auto-increment values there. `accepted` counts the records
// stored. (Their .MB values and secondary index entries, which the caller has ruled out, are
// left to insert_into().)
void TableWriter::append_unkeyed(Work& w, std::span<const EditBuffer> records,
                                 std::size_t& accepted, std::vector<RecordPosition>* placed) {
    BlockImage* target = nullptr;
    for (; accepted < records.size(); ++accepted) {
        if (target == nullptr || target->full()) {
            target = &block_to_append_to(w);
            pager_.mark_dirty(target->number());
        }
        const std::size_t slot = target->count();
        std::uint8_t* record = target->append(records[accepted].record().bytes().data());
        assign_auto_increment(auto_increment_fields_, table_, w.header, record, true);
        ++w.header.num_records;
        if (placed) placed->push_back({target->number(), static_cast<std::uint32_t>(slot)});
    }
}

StoredRecord TableWriter::update(const RecordRef& at, const EditBuffer& source) {
    if (auto stored = update_where_it_stands(at, source)) return *stored;
    Work& w = begin_work();
    ChangeGuard guard(*this);
    std::uint32_t number = 0;
    const RecordPosition position = locate(w, at, number);
    const Bytes stored =
        pager_.block(static_cast<std::uint16_t>(position.block)).record(position.slot);
    std::vector<std::uint8_t>& old = w.replaced;
    old.assign(stored.begin(), stored.end());
    std::vector<std::uint8_t>& record = w.record;
    record.assign(source.record().bytes().begin(), source.record().bytes().end());
    assign_auto_increment(auto_increment_fields_, table_, w.header, record.data(), false);
    const bool moves = index_ && !key_->same(key_->of(old), key_->of(record));
    if (moves) check_key_free(key_->of(record));
    blobs_.place(source, record, old, false, w.change);
    StoredRecord result{position, number};
    if (moves) {
        remove_at(w, position, number);
        result = insert_record(w, record);
    } else {
        BlockImage& image = pager_.block(static_cast<std::uint16_t>(position.block));
        std::memcpy(image.mutable_record(position.slot), record.data(), record_size_);
        pager_.mark_dirty(image.number());
        w.in_place = position;
        count_update(w.header);
    }
    if (maintainer_ && (moves || maintainer_->entries_differ(old, record))) {
        maintainer_->removed(old, position, number, w.change);
        maintainer_->inserted(record, result.position, result.record_number, w.change);
    }
    commit(w);
    guard.committed();
    return result;
}

std::optional<StoredRecord> TableWriter::remove(const RecordRef& at) {
    Work& w = begin_work();
    ChangeGuard guard(*this);
    std::uint32_t number = 0;
    const RecordPosition position = locate(w, at, number);
    const Bytes stored =
        pager_.block(static_cast<std::uint16_t>(position.block)).record(position.slot);
    const std::vector<std::uint8_t> old(stored.begin(), stored.end());
    blobs_.release(old, w.change);
    auto next = remove_at(w, position, number);
    if (maintainer_) maintainer_->removed(old, position, number, w.change);
    commit(w);
    guard.committed();
    return next;
}

void TableWriter::commit(Work& w) {
    BlockFile& data = table_.data_file();
    if (index_) index_->stage(w.change);
    blobs_.stage(w.change);
    stamp_change(w.header);
    // A record changed where it stands, when nothing else of the table changes with it (no
    // index entry, no .MB space, no other block, no auto-increment value), is held back by the
    // pager (table_pager.h) instead of going through the journal.
    const bool written_in_place = w.in_place && pager_.dirty_blocks() == 1 && w.change.empty() &&
                                  w.header.auto_inc == table_.header().auto_inc &&
                                  !journal_.in_group();
    if (written_in_place)
        pager_.hold_record(pager_.block(static_cast<std::uint16_t>(w.in_place->block)),
                           w.in_place->slot, w.replaced, w.header);
    else
        pager_.write_journaled(w.header, w.change);

    data.swap_header(w.header);
    if (!written_in_place) data.refresh_size();
    if (index_) index_->committed();
    blobs_.committed();
    if (maintainer_) maintainer_->committed();
    if (written_in_place)
        table_.note_change_in_place(w.in_place->block, w.in_place->slot);
    else
        table_.note_change();
    unflushed_ = true;
    pager_.settle();
}

// The update of a record that stays where it stands with its key, index entries, .MB values
// and auto-increment counter (keeps_what_in_place_needs), when the caller says where it
// stands: the record is written as change_each_in_place writes it, held back, without a copy
// of the header or the journal, and without the check of the chain, which it does not touch.
// Empty when the change is of another kind or the record is not where `at` says; update()
// then makes it a change of its own.
std::optional<StoredRecord> TableWriter::update_where_it_stands(const RecordRef& at,
                                                                const EditBuffer& source) {
    if (!at.position || at.record_number == 0 || !source.new_blobs().empty() || journal_.in_group())
        return std::nullopt;
    refuse_when_unusable();
    const RecordPosition p = *at.position;
    const Bytes record = source.record().bytes();
    if (p.block == 0 || p.block > table_.header().file_blocks ||
        !keeps_what_in_place_needs(at.record, record))
        return std::nullopt;
    BlockImage& image = pager_.settled_block(static_cast<std::uint16_t>(p.block), at.block);
    if (p.slot >= image.count() ||
        std::memcmp(image.record(p.slot).data(), at.record.data(), record_size_) != 0)
        return std::nullopt;
    change_where_it_stands(image, p.slot, record, at.record);
    return StoredRecord{p, at.record_number};
}

// Writes `record` over `old` in slot `slot` of `image`, a block as it stands in the file, and
// holds the change back (table_pager.h).
void TableWriter::change_where_it_stands(BlockImage& image, std::size_t slot, Bytes record,
                                         Bytes old) {
    pager_.overwrite_record(image, slot, record);
    TableHeader& header = table_.data_file().header_to_change();
    count_update(header);
    stamp_change(header);
    pager_.hold_record(image, slot, old, header);
    table_.note_change_in_place(image.number(), static_cast<std::uint32_t>(slot));
    unflushed_ = true;
}

// True when `record` may replace `old` where it stands: same key, same index entries, the
// same .MB references, no auto-increment value above the counter.
bool TableWriter::keeps_what_in_place_needs(Bytes old, Bytes record) const {
    if (index_ && !key_->same(key_->of(old), key_->of(record))) return false;
    if (maintainer_ && maintainer_->entries_differ(old, record)) return false;
    if (!blobs_.same(old, record)) return false;
    return !raises_auto_increment(auto_increment_fields_, table_.header().auto_inc, record);
}

std::uint64_t TableWriter::change_each_in_place(
    const std::function<bool(MutableBytes record)>& change,
    const std::function<void()>& after_record) {
    if (journal_.in_group())
        throw vaq::Error("Cannot change the records of " + table_.name() +
                         " where they stand while a statement changes it.");
    refuse_when_unusable();
    check_chain();
    std::uint64_t changed = 0;
    std::vector<std::uint8_t> old(record_size_);
    std::vector<std::uint8_t> record(record_size_);
    for (std::uint16_t number = table_.header().first_block; number != 0;) {
        BlockImage& image = pager_.settled_block(number, {});
        for (std::size_t slot = 0; slot < image.count(); ++slot) {
            const Bytes stored = image.record(slot);
            std::memcpy(record.data(), stored.data(), record_size_);
            if (change(MutableBytes(record)) &&
                std::memcmp(record.data(), stored.data(), record_size_) != 0) {
                if (!keeps_what_in_place_needs(stored, record))
                    throw vaq::Error("A change of " + table_.name() +
                                     " where the record stands would move its key, index "
                                     "entries or memo values.");
                std::memcpy(old.data(), stored.data(), record_size_);
                change_where_it_stands(image, slot, record, old);
                ++changed;
            }
            if (after_record) after_record();
        }
        number = image.next();
    }
    return changed;
}

// After a change failed: what this writer holds in memory is brought back to the files. When
// the journal could not undo the change, the files hold part of it and only the next open of
// the table puts it back, so nothing is read from them and the writer takes no more changes.
// The caller passes the change's own error on; why the writer stopped is said by the next
// change it is asked for.
void TableWriter::discard() noexcept {
    // What cannot be read again is not trusted: the writer takes no more changes.
    const auto stop_when_it_fails = [&](const char* what, const auto& reload) {
        try {
            reload();
        } catch (const std::exception& e) {
            if (unusable_.empty())
                unusable_ = std::string(what) + " could not be read again after a failed change (" +
                            e.what() + ").";
        }
    };
    if (!journal_.stuck() && index_ && index_->changed())
        stop_when_it_fails("its primary index", [&] { index_->reload(); });
    blobs_.discard();
    if (maintainer_) stop_when_it_fails("its secondary indexes", [&] { maintainer_->discarded(); });
}

void TableWriter::refuse_when_unusable() const {
    if (journal_.stuck())
        throw vaq::Error("Cannot change " + table_.name() +
                         ": an earlier change could not be finished or undone; it is put back "
                         "when the table is opened again.");
    if (!unusable_.empty()) throw vaq::Error("Cannot change " + table_.name() + ": " + unusable_);
}

}  // namespace pdx
