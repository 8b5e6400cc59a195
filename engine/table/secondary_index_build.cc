#include "engine/table/secondary_index_build.h"

#include <algorithm>
#include <cstring>
#include <ctime>

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
    return static_cast<unsigned char>(vaq::asciiUpper(static_cast<char>(c)));
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

// Every record's entry, in table order. The chain of data blocks is read directly, not
// through a cursor, so that a table being closed can still be read.
std::vector<std::uint8_t> collect_entries(const Table& table, const IndexEntryLayout& layout,
                                          std::size_t& count) {
    const std::size_t size = layout.record_size();
    std::vector<std::uint8_t> entries;
    entries.reserve(static_cast<std::size_t>(table.record_count()) * size);
    count = 0;
    IndexRecordReader records(table.data_file());
    for (bool more = records.first(); more; more = records.next()) {
        entries.resize(entries.size() + size);
        layout.make_entry(records.record(),
                          {records.number(), static_cast<std::uint16_t>(records.block()),
                           static_cast<std::uint16_t>(records.slot())},
                          entries.data() + entries.size() - size);
        ++count;
    }
    return entries;
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
        std::sort(items.begin(), items.end(), [](const SortItem& a, const SortItem& b) {
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
    std::sort(items.begin(), items.end(), [&](const SortItem& a, const SortItem& b) {
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

// Neighbours in the sorted list must be in an order the sort order establishes.
void check_order_is_certain(const Table& table, const std::string& index_name,
                            const IndexEntryLayout& layout, const KeyOrder& order,
                            const std::vector<std::uint8_t>& entries,
                            const std::vector<SortItem>& rows) {
    const std::size_t size = layout.record_size();
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const Bytes a(entries.data() + std::size_t{rows[i - 1].row} * size, size);
        const Bytes b(entries.data() + std::size_t{rows[i].row} * size, size);
        if (order.certain_compare(a, b)) continue;
        throw vaq::Error("Index " + index_name + " on " + table.name() +
                         " cannot be built: the sort order " + table.header().sort_order_id +
                         " cannot put " + alpha_text(table, layout, a) + " and " +
                         alpha_text(table, layout, b) + " in order.");
    }
}

// Writes the entries in `rows` order into blocks 1, 2, ... of `file`, each filled to
// capacity, and returns the level-1 entries of the tree over them.
std::vector<IndexLeaf> write_blocks(File& file, TableHeader& header,
                                    const std::vector<std::uint8_t>& entries,
                                    const std::vector<SortItem>& rows, std::size_t key_width) {
    const std::size_t size = header.record_size;
    const std::size_t per_block = header.records_per_block();
    const std::size_t blocks = (rows.size() + per_block - 1) / per_block;
    std::vector<IndexLeaf> leaves;
    leaves.reserve(blocks);
    std::vector<std::uint8_t> run;
    for (std::size_t b = 0; b < blocks; ++b) {
        const auto number = static_cast<std::uint16_t>(b + 1);
        BlockImage image(number, header.block_size(), size);
        image.set_prev(static_cast<std::uint16_t>(b));
        image.set_next(b + 1 < blocks ? static_cast<std::uint16_t>(b + 2) : std::uint16_t{0});
        const std::size_t first = b * per_block;
        const std::size_t end = std::min(rows.size(), first + per_block);
        for (std::size_t i = first; i < end; ++i)
            image.insert(image.count(), entries.data() + std::size_t{rows[i].row} * size);
        const Bytes key = image.record(0).first(key_width);
        leaves.push_back(
            {number, {key.begin(), key.end()}, static_cast<std::uint32_t>(end - first)});
        const std::vector<std::uint8_t>& bytes = image.encode();
        if (run.empty()) run.reserve(kBlocksPerWrite * bytes.size());
        run.insert(run.end(), bytes.begin(), bytes.end());
        if ((b + 1) % kBlocksPerWrite == 0 || b + 1 == blocks) {
            const std::size_t first_in_run = b + 1 - run.size() / bytes.size();
            file.write_at(header.block_offset(static_cast<std::uint32_t>(first_in_run + 1)), run);
            run.clear();
        }
    }
    header.num_records = static_cast<std::uint32_t>(rows.size());
    header.blocks_in_use = static_cast<std::uint16_t>(blocks);
    set_file_blocks(header, static_cast<std::uint16_t>(blocks));
    header.first_block = blocks > 0 ? 1 : 0;
    header.last_block = static_cast<std::uint16_t>(blocks);
    file.write_at(0, header.encode());
    return leaves;
}

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
                           const fs::path& y_path) {
    const IndexEntryLayout layout(table.header(), definition);
    const KeyOrder order = entry_order(table, layout, definition.case_insensitive);

    std::size_t count = 0;
    const std::vector<std::uint8_t> entries = collect_entries(table, layout, count);
    const AlphaCollation collation = alpha_collation_of(table.header());
    const SortKeyWriter keys(order_parts(layout.key_parts()), collation,
                             definition.case_insensitive);
    const std::vector<SortItem> rows = sorted_rows(entries, count, layout.record_size(), keys);
    if (collation != AlphaCollation::kBytes || definition.case_insensitive)
        check_order_is_certain(table, index_name, layout, order, entries, rows);

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
    File x_file = File::create(x_path);
    const std::vector<IndexLeaf> leaves =
        write_blocks(x_file, x_header, entries, rows, layout.key_width());

    File y_file = File::create(y_path);
    build_tree(y_file, new_secondary_tree_header(x_header, y_path.filename().string(), stamps.tree),
               leaves);
}

}  // namespace pdx
