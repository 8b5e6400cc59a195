#include "engine/table/secondary_index_build.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <functional>
#include <optional>
#include <system_error>

#include "common/error.h"
#include "common/text.h"
#include "engine/format/block_image.h"
#include "engine/format/field_codec.h"
#include "engine/format/file.h"
#include "engine/format/header_counters.h"
#include "engine/format/index_records.h"
#include "engine/format/index_tree.h"
#include "engine/format/index_tree_build.h"
#include "engine/format/new_table.h"
#include "engine/table/primary_index_writer.h"
#include "engine/table/table.h"
#include "engine/table/table_name.h"
#include "engine/table/text_fold.h"

namespace pdx {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxBlocks = 0xFFFF;
// Blocks written at a time while the X file is filled.
constexpr std::size_t kBlocksPerWrite = 64;
// The first stamp of a new Y file (the BDE starts its .PX files at small numbers too).
constexpr std::uint8_t kFreshTreeStamp = 2;
// Tree entries store their counts in 16 bits.
constexpr std::uint32_t kMaxTreeCount = 0xFFFF;

unsigned char upper_ascii(unsigned char c) {
    return static_cast<unsigned char>(vaq::ascii_upper(static_cast<char>(c)));
}

// Keys rewritten so that comparing their bytes gives the order of KeyOrder::compare():
// alpha text is cut at its NUL and padded with zeros (a prefix sorts first), in upper case
// where the order ignores case or compares case last, followed by the text as stored when
// case decides only among otherwise equal texts; descending fields are inverted.
class SortKeyWriter {
  public:
    SortKeyWriter(std::vector<KeyOrder::Part> parts, AlphaCollation collation,
                  bool case_insensitive)
        : parts_(std::move(parts)) {
        exact_ = collation == AlphaCollation::kBytes && !case_insensitive;
        case_last_ = !exact_ && !case_insensitive;
        for (const KeyOrder::Part& p : parts_) {
            const std::size_t w = p.descriptor.width();
            width_ += p.descriptor.type == FieldType::kAlpha && case_last_ ? 2 * w : w;
        }
    }

    std::size_t width() const { return width_; }

    // True when the key is the entry's own bytes, part after part (no alpha part), so that
    // two entries compare without writing their keys out.
    bool as_stored() const {
        return std::none_of(parts_.begin(), parts_.end(), [](const KeyOrder::Part& p) {
            return p.descriptor.type == FieldType::kAlpha;
        });
    }

    // Compares the keys of two entries when as_stored(): <0, 0 or >0.
    int compare_stored(const std::uint8_t* a, const std::uint8_t* b) const {
        for (const KeyOrder::Part& p : parts_) {
            const int order = std::memcmp(a + p.offset, b + p.offset, p.descriptor.width());
            if (order != 0) return p.descending ? -order : order;
        }
        return 0;
    }

    void write(const std::uint8_t* entry, std::uint8_t* out) const {
        for (const KeyOrder::Part& p : parts_) {
            const std::size_t w = p.descriptor.width();
            const std::uint8_t* field = entry + p.offset;
            std::uint8_t* start = out;
            if (p.descriptor.type != FieldType::kAlpha) {
                std::memcpy(out, field, w);
                out += w;
            } else {
                const std::string_view text = decode_alpha(Bytes(field, w));
                std::memset(out, 0, w);
                for (std::size_t i = 0; i < text.size(); ++i) {
                    const auto c = static_cast<unsigned char>(text[i]);
                    out[i] = exact_ ? c : upper_ascii(c);
                }
                out += w;
                if (case_last_) {
                    std::memset(out, 0, w);
                    std::memcpy(out, text.data(), text.size());
                    out += w;
                }
            }
            if (p.descending)
                for (std::uint8_t* b = start; b != out; ++b)
                    *b = static_cast<std::uint8_t>(~*b);
        }
    }

  private:
    std::vector<KeyOrder::Part> parts_;
    bool exact_ = true;
    bool case_last_ = false;
    std::size_t width_ = 0;
};

std::vector<KeyOrder::Part> order_parts(const std::vector<EntryKeyPart>& parts) {
    std::vector<KeyOrder::Part> out;
    for (const EntryKeyPart& p : parts)
        out.push_back({p.offset, p.descriptor, p.descending});
    return out;
}

// An entry's place in the sort: 12 bytes rather than the 16 a padded struct takes, as a
// million entries are sorted in memory at once.
#pragma pack(push, 4)
struct SortItem {
    std::uint64_t prefix;  // the first 8 bytes of the sort key, big-endian
    std::uint32_t row;
};
#pragma pack(pop)
static_assert(sizeof(SortItem) == 12);

// Records are often added in the order of an index's key (transactions by date): one look
// over the items then spares the sort.
template <typename Less>
void sort_unless_sorted(std::vector<SortItem>& items, Less less) {
    if (!std::is_sorted(items.begin(), items.end(), less))
        std::sort(items.begin(), items.end(), less);
}

// The rows in index order; equal keys keep table order. A key of at most 8 bytes is whole in
// its prefix. Only longer keys with text in them are written out beside the items: those
// take as much memory again as the entries.
std::vector<SortItem> sorted_rows(const std::vector<std::uint8_t>& entries, std::size_t count,
                                  std::size_t entry_size, const SortKeyWriter& keys) {
    std::vector<SortItem> items(count);
    if (keys.width() <= 8) {
        std::uint8_t key[8];
        for (std::size_t i = 0; i < count; ++i) {
            std::memset(key, 0, sizeof key);
            keys.write(entries.data() + i * entry_size, key);
            items[i] = {load_u64be(key), static_cast<std::uint32_t>(i)};
        }
        sort_unless_sorted(items, [](const SortItem& a, const SortItem& b) {
            return a.prefix != b.prefix ? a.prefix < b.prefix : a.row < b.row;
        });
        return items;
    }
    // Longer keys: where two prefixes are equal the rest decides, read from the entries
    // themselves when the key is their bytes, else from keys written out beside the items.
    std::vector<std::uint8_t> sort_keys;
    const std::size_t width = keys.width();
    const bool as_stored = keys.as_stored();
    if (!as_stored) sort_keys.assign(count * width, 0);
    std::vector<std::uint8_t> one_key(as_stored ? width : 0);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* key = as_stored ? one_key.data() : sort_keys.data() + i * width;
        keys.write(entries.data() + i * entry_size, key);
        items[i] = {load_u64be(key), static_cast<std::uint32_t>(i)};
    }
    sort_unless_sorted(items, [&](const SortItem& a, const SortItem& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        const int rest =
            as_stored ? keys.compare_stored(entries.data() + std::size_t{a.row} * entry_size,
                                            entries.data() + std::size_t{b.row} * entry_size)
                      : std::memcmp(sort_keys.data() + std::size_t{a.row} * width + 8,
                                    sort_keys.data() + std::size_t{b.row} * width + 8, width - 8);
        return rest != 0 ? rest < 0 : a.row < b.row;
    });
    return items;
}

std::string alpha_text(const Table& table, const IndexEntryLayout& layout, Bytes entry) {
    std::string text;
    for (const EntryKeyPart& p : layout.indexed_parts()) {
        if (p.descriptor.type != FieldType::kAlpha) continue;
        if (!text.empty()) text += ", ";
        text += "'" +
                table.codec().to_utf8(decode_alpha(entry.subspan(p.offset, p.descriptor.width()))) +
                "'";
    }
    return text;
}

// Two neighbours in index order must be in an order the sort order establishes.
void check_pair_is_certain(const Table& table, const std::string& index_name,
                           const IndexEntryLayout& layout, const KeyOrder& order, Bytes a,
                           Bytes b) {
    if (order.certain_compare(a, b)) return;
    throw vaq::Error("Index " + index_name + " on " + table.name() +
                     " cannot be built: the sort order " + table.header().sort_order_id +
                     " cannot put " + alpha_text(table, layout, a) + " and " +
                     alpha_text(table, layout, b) + " in order.");
}

// Neighbours in the sorted list must be in an order the sort order establishes.
void check_order_is_certain(const Table& table, const std::string& index_name,
                            const IndexEntryLayout& layout, const KeyOrder& order,
                            const std::vector<std::uint8_t>& entries,
                            const std::vector<SortItem>& rows) {
    const std::size_t size = layout.record_size();
    for (std::size_t i = 1; i < rows.size(); ++i)
        check_pair_is_certain(table, index_name, layout, order,
                              Bytes(entries.data() + std::size_t{rows[i - 1].row} * size, size),
                              Bytes(entries.data() + std::size_t{rows[i].row} * size, size));
}

// Writes entries, given one at a time in index order, into blocks 1, 2, ... of `file`, each
// filled to capacity, and keeps the level-1 entries of the tree over them.
class XBlockWriter {
  public:
    XBlockWriter(File& file, TableHeader& header, std::size_t total, std::size_t key_width)
        : file_(file),
          header_(header),
          total_(total),
          per_block_(header.records_per_block()),
          blocks_((total + per_block_ - 1) / per_block_),
          key_width_(key_width) {
        leaves_.reserve(blocks_);
    }

    void add(const std::uint8_t* entry) {
        if (!image_) {
            const auto number = static_cast<std::uint16_t>(block_ + 1);
            image_.emplace(number, header_.block_size(), header_.record_size);
            image_->set_prev(static_cast<std::uint16_t>(block_));
            image_->set_next(block_ + 1 < blocks_ ? static_cast<std::uint16_t>(block_ + 2)
                                                  : std::uint16_t{0});
        }
        image_->insert(image_->count(), entry);
        ++written_;
        if (image_->count() == per_block_ || written_ == total_) close_block();
    }

    // Writes the header; every entry must have been added.
    std::vector<IndexLeaf> finish() {
        if (written_ != total_) throw vaq::Error("Index entries were lost while sorting.");
        header_.num_records = static_cast<std::uint32_t>(total_);
        header_.blocks_in_use = static_cast<std::uint16_t>(blocks_);
        set_file_blocks(header_, static_cast<std::uint16_t>(blocks_));
        header_.first_block = blocks_ > 0 ? 1 : 0;
        header_.last_block = static_cast<std::uint16_t>(blocks_);
        file_.write_at(0, header_.encode());
        return std::move(leaves_);
    }

  private:
    void close_block() {
        const auto number = static_cast<std::uint16_t>(block_ + 1);
        const Bytes key = image_->record(0).first(key_width_);
        leaves_.push_back(
            {number, {key.begin(), key.end()}, static_cast<std::uint32_t>(image_->count())});
        const std::vector<std::uint8_t>& bytes = image_->encode();
        if (run_.empty()) run_.reserve(kBlocksPerWrite * bytes.size());
        run_.insert(run_.end(), bytes.begin(), bytes.end());
        if ((block_ + 1) % kBlocksPerWrite == 0 || block_ + 1 == blocks_) {
            const std::size_t first_in_run = block_ + 1 - run_.size() / bytes.size();
            file_.write_at(header_.block_offset(static_cast<std::uint32_t>(first_in_run + 1)),
                           run_);
            run_.clear();
        }
        image_.reset();
        ++block_;
    }

    File& file_;
    TableHeader& header_;
    std::size_t total_;
    std::size_t per_block_;
    std::size_t blocks_;
    std::size_t key_width_;
    std::optional<BlockImage> image_;
    std::size_t block_ = 0;
    std::size_t written_ = 0;
    std::vector<std::uint8_t> run_;
    std::vector<IndexLeaf> leaves_;
};

// The tree over the X blocks `leaves`. A block of level 1 takes no more X blocks than keep
// its entry's count (the sum of their counts) within the 16 bits the entry stores.
void build_tree(File& file, const TableHeader& header, const std::vector<IndexLeaf>& leaves) {
    std::uint32_t largest = 1;
    for (const IndexLeaf& leaf : leaves)
        largest = std::max(largest, leaf.count);
    const std::size_t fill = tree_block_fill(header);
    const std::size_t level_one_fill = std::clamp<std::size_t>(kMaxTreeCount / largest, 2, fill);
    build_index_tree(file, header, leaves, level_one_fill,
                     "Table is full: " + header.table_name + " would need more than 65535 blocks.");
}

// A scratch file beside the index being written, removed however the build ends.
class ScratchFile {
  public:
    explicit ScratchFile(fs::path path) : path_(std::move(path)), file_(create_fresh(path_)) {}
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    // A file that cannot be removed here is a leftover the next build of the index replaces;
    // a destructor has no one to report it to.
    ~ScratchFile() {
        std::error_code ignored;
        fs::remove(path_, ignored);
    }

    File& file() { return file_; }

  private:
    // A scratch file left by a build that was killed is replaced.
    static File create_fresh(const fs::path& path) {
        std::error_code ignored;
        fs::remove(path, ignored);
        return File::create(path);
    }

    fs::path path_;
    File file_;
};

// Removes the files of an index whose build failed half way, unless dismissed.
class RemoveOnFailure {
  public:
    RemoveOnFailure() = default;
    RemoveOnFailure(const RemoveOnFailure&) = delete;
    RemoveOnFailure& operator=(const RemoveOnFailure&) = delete;
    ~RemoveOnFailure() {
        std::error_code ignored;  // the build's own error is what the caller hears
        for (const fs::path& path : paths_)
            fs::remove(path, ignored);
    }
    void add(fs::path path) { paths_.push_back(std::move(path)); }
    void dismiss() { paths_.clear(); }

  private:
    std::vector<fs::path> paths_;
};

// Entries of one load, sorted, in the scratch file.
struct SortedRun {
    std::uint64_t offset = 0;
    std::size_t count = 0;
};

// Bytes written to the scratch file at a time.
constexpr std::size_t kScratchWrite = 256 * 1024;

// Every record's entry, collected in loads of at most `capacity` entries. A table whose
// entries fit in one load keeps them in memory; otherwise each load is sorted and written
// to the scratch file as a run, the last one too. The chain of data blocks is read directly,
// not through a cursor, so that a table being closed can still be read.
class EntryLoads {
  public:
    EntryLoads(const IndexEntryLayout& layout, const SortKeyWriter& keys, std::size_t capacity,
               fs::path scratch_path)
        : layout_(layout),
          keys_(keys),
          capacity_(capacity),
          scratch_path_(std::move(scratch_path)) {}

    void collect(const Table& table) {
        const std::size_t size = layout_.record_size();
        entries_.reserve(std::min<std::size_t>(table.record_count(), capacity_) * size);
        IndexRecordReader records(table.data_file());
        for (bool more = records.first(); more; more = records.next()) {
            if (count_ == capacity_) spill();
            entries_.resize(entries_.size() + size);
            layout_.make_entry(records.record(),
                               {records.number(), static_cast<std::uint16_t>(records.block()),
                                static_cast<std::uint16_t>(records.slot())},
                               entries_.data() + entries_.size() - size);
            ++count_;
            ++total_;
        }
        if (!runs_.empty()) {
            if (count_ > 0) spill();
            std::vector<std::uint8_t>().swap(entries_);
        }
    }

    bool in_memory() const { return runs_.empty(); }
    std::size_t total() const { return total_; }
    // The entries in table order, when in_memory().
    const std::vector<std::uint8_t>& entries() const { return entries_; }
    File& scratch() { return scratch_->file(); }
    const std::vector<SortedRun>& runs() const { return runs_; }

  private:
    void spill() {
        if (!scratch_) scratch_.emplace(scratch_path_);
        const std::size_t size = layout_.record_size();
        const std::vector<SortItem> rows = sorted_rows(entries_, count_, size, keys_);
        std::vector<std::uint8_t> piece;
        piece.reserve(kScratchWrite);
        const SortedRun run{offset_, count_};
        for (const SortItem& item : rows) {
            const std::uint8_t* entry = entries_.data() + std::size_t{item.row} * size;
            piece.insert(piece.end(), entry, entry + size);
            if (piece.size() + size > kScratchWrite) flush(piece);
        }
        flush(piece);
        runs_.push_back(run);
        entries_.clear();
        count_ = 0;
    }

    void flush(std::vector<std::uint8_t>& piece) {
        if (piece.empty()) return;
        scratch_->file().write_at(offset_, piece);
        offset_ += piece.size();
        piece.clear();
    }

    const IndexEntryLayout& layout_;
    const SortKeyWriter& keys_;
    std::size_t capacity_;
    fs::path scratch_path_;
    std::vector<std::uint8_t> entries_;
    std::size_t count_ = 0;
    std::size_t total_ = 0;
    std::optional<ScratchFile> scratch_;
    std::vector<SortedRun> runs_;
    std::uint64_t offset_ = 0;
};

// Entries a load takes within `memory` bytes: each costs its bytes, its sort item and, for
// longer keys with text, its key written out.
std::size_t entries_per_load(std::size_t entry_size, const SortKeyWriter& keys,
                             std::size_t memory) {
    const std::size_t key = keys.width() > 8 && !keys.as_stored() ? keys.width() : 0;
    return std::max<std::size_t>(2, memory / (entry_size + sizeof(SortItem) + key));
}

// Reads one sorted run of the scratch file an entry at a time, a piece at a time.
class RunReader {
  public:
    RunReader(const File& file, SortedRun run, std::size_t entry_size, std::size_t piece_entries)
        : file_(&file),
          next_offset_(run.offset),
          left_(run.count),
          size_(entry_size),
          piece_entries_(piece_entries) {
        load();
    }

    const std::uint8_t* entry() const { return piece_.data() + at_ * size_; }

    // Moves to the run's next entry; false after its last.
    bool next() {
        if (++at_ < in_piece_) return true;
        return load();
    }

  private:
    bool load() {
        if (left_ == 0) return false;
        in_piece_ = std::min(left_, piece_entries_);
        piece_.resize(in_piece_ * size_);
        if (file_->read_at(next_offset_, piece_) != piece_.size())
            throw vaq::Error("Cannot read " + file_->path().string() + ": it ends too early.");
        next_offset_ += piece_.size();
        left_ -= in_piece_;
        at_ = 0;
        return true;
    }

    const File* file_;
    std::uint64_t next_offset_;
    std::size_t left_;
    std::size_t size_;
    std::size_t piece_entries_;
    std::vector<std::uint8_t> piece_;
    std::size_t in_piece_ = 0;
    std::size_t at_ = 0;
};

// Merges the sorted runs into `writer`, in the order of the sort in memory: by key, equal
// keys in table order (the runs are in table order, so the earlier run first). Each
// neighbour pair is checked when `check` is set.
void merge_runs(EntryLoads& loads, const SortKeyWriter& keys, std::size_t entry_size,
                std::size_t memory, XBlockWriter& writer,
                const std::function<void(Bytes, Bytes)>& check) {
    const std::vector<SortedRun>& runs = loads.runs();
    const std::size_t piece_entries =
        std::max<std::size_t>(1, memory / 2 / runs.size() / entry_size);
    std::vector<RunReader> readers;
    readers.reserve(runs.size());
    for (const SortedRun& run : runs)
        readers.emplace_back(loads.scratch(), run, entry_size, piece_entries);

    // Each run's head key, padded with zeros to at least 8 bytes, and its first 8 bytes as a
    // number: most comparisons end there, and a key of at most 8 bytes is whole in it.
    const std::size_t width = keys.width();
    const std::size_t stride = std::max<std::size_t>(width, 8);
    std::vector<std::uint8_t> heads(runs.size() * stride);
    std::vector<std::uint64_t> prefixes(runs.size());
    const auto head = [&](std::size_t r) { return heads.data() + r * stride; };
    const auto take_head = [&](std::size_t r) {
        keys.write(readers[r].entry(), head(r));
        prefixes[r] = load_u64be(head(r));
    };
    // The heap's top is the smallest head: by key, then by run.
    const auto after = [&](std::size_t a, std::size_t b) {
        if (prefixes[a] != prefixes[b]) return prefixes[a] > prefixes[b];
        const int order = width > 8 ? std::memcmp(head(a) + 8, head(b) + 8, width - 8) : 0;
        return order != 0 ? order > 0 : a > b;
    };
    std::vector<std::size_t> heap;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        if (runs[r].count == 0) continue;
        take_head(r);
        heap.push_back(r);
    }
    std::make_heap(heap.begin(), heap.end(), after);
    // The top's new head goes down to its place: where the runs follow each other in key
    // order (a table kept in the index's order) it stays on top after one or two comparisons.
    const auto sift_down_top = [&] {
        for (std::size_t at = 0;;) {
            std::size_t child = 2 * at + 1;
            if (child >= heap.size()) return;
            if (child + 1 < heap.size() && after(heap[child], heap[child + 1])) ++child;
            if (!after(heap[at], heap[child])) return;
            std::swap(heap[at], heap[child]);
            at = child;
        }
    };

    std::vector<std::uint8_t> previous(entry_size);
    bool has_previous = false;
    while (!heap.empty()) {
        const std::size_t r = heap.front();
        const std::uint8_t* entry = readers[r].entry();
        if (check) {
            if (has_previous) check(previous, Bytes(entry, entry_size));
            std::memcpy(previous.data(), entry, entry_size);
            has_previous = true;
        }
        writer.add(entry);
        if (readers[r].next()) {
            take_head(r);
        } else {
            heap.front() = heap.back();
            heap.pop_back();
        }
        sift_down_top();
    }
}

}  // namespace

SecondaryIndexDefinition definition_of(const SecondaryIndex& index) {
    SecondaryIndexDefinition d;
    d.fields = index.layout.fields;
    d.maintained = index.layout.maintained;
    d.composite = index.layout.composite;
    d.case_insensitive = index.layout.case_insensitive;
    d.stored_name = index.layout.stored_name;
    d.number = index.suffix.composite ? index.suffix.number : 0;
    return d;
}

KeyOrder entry_order(const Table& table, const IndexEntryLayout& layout, bool case_insensitive) {
    const auto folder = [&table](std::string_view text) {
        return fold_case(table.codec().to_utf8(text));
    };
    return KeyOrder(order_parts(layout.key_parts()), alpha_collation_of(table.header()),
                    case_insensitive, folder);
}

std::uint8_t primary_index_stamp(const fs::path& table_file) {
    const auto px = find_family_file(table_file, ".PX");
    if (!px) return 0;
    return BlockFile::open(*px).header().index_stamp;
}

std::string index_file_name(const fs::path& table_file, const IndexSuffix& suffix) {
    return table_file.stem().string() + suffix.extension();
}

std::string tree_file_name(const fs::path& table_file, const IndexSuffix& suffix) {
    return table_file.stem().string() + suffix.tree_extension();
}

void write_secondary_index(const Table& table, const SecondaryIndexDefinition& definition,
                           const std::string& index_name, const fs::path& x_path,
                           const fs::path& y_path, std::size_t sort_memory) {
    const IndexEntryLayout layout(table.header(), definition);
    const KeyOrder order = entry_order(table, layout, definition.case_insensitive);
    const AlphaCollation collation = alpha_collation_of(table.header());
    const SortKeyWriter keys(order_parts(layout.key_parts()), collation,
                             definition.case_insensitive);
    const bool check_order = collation != AlphaCollation::kBytes || definition.case_insensitive;
    const std::size_t size = layout.record_size();

    EntryLoads loads(layout, keys, entries_per_load(size, keys, sort_memory),
                     fs::path(x_path.string() + ".sort.tmp"));
    loads.collect(table);
    const std::size_t count = loads.total();
    std::vector<SortItem> rows;
    if (loads.in_memory()) {
        rows = sorted_rows(loads.entries(), count, size, keys);
        if (check_order)
            check_order_is_certain(table, index_name, layout, order, loads.entries(), rows);
    }

    IndexStamps stamps;
    stamps.primary = primary_index_stamp(table.path());
    stamps.tree = kFreshTreeStamp;
    TableHeader x_header =
        new_secondary_index_header(table.header(), definition, layout, x_path.filename().string(),
                                   stamps, static_cast<std::uint32_t>(std::time(nullptr)));
    const std::size_t per_block = x_header.records_per_block();
    if (per_block == 0 || (count + per_block - 1) / per_block > kMaxBlocks)
        throw vaq::Error("Index " + index_name + " on " + table.name() +
                         " cannot be built: its entries need more than 65535 blocks.");
    RemoveOnFailure written;
    File x_file = File::create(x_path);
    written.add(x_path);
    XBlockWriter writer(x_file, x_header, count, layout.key_width());
    if (loads.in_memory()) {
        for (const SortItem& item : rows)
            writer.add(loads.entries().data() + std::size_t{item.row} * size);
    } else {
        std::function<void(Bytes, Bytes)> check;
        if (check_order)
            check = [&](Bytes a, Bytes b) {
                check_pair_is_certain(table, index_name, layout, order, a, b);
            };
        merge_runs(loads, keys, size, sort_memory, writer, check);
    }
    const std::vector<IndexLeaf> leaves = writer.finish();

    File y_file = File::create(y_path);
    written.add(y_path);
    build_tree(y_file, new_secondary_tree_header(x_header, y_path.filename().string(), stamps.tree),
               leaves);
    written.dismiss();
}

}  // namespace pdx
