#include "engine/format/index_tree.h"

#include <cstring>
#include <string>

#include "engine/format/format_error.h"

namespace pdx {

namespace {

// Block numbers and counts are stored like Short field values: big-endian, top bit flipped.
std::uint16_t decode_tree_number(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(((p[0] << 8) | p[1]) ^ 0x8000);
}

void encode_tree_number(std::uint16_t value, std::uint8_t* p) {
    const auto stored = static_cast<std::uint16_t>(value ^ 0x8000);
    p[0] = static_cast<std::uint8_t>(stored >> 8);
    p[1] = static_cast<std::uint8_t>(stored);
}

// No real tree comes near this height (65535 blocks of two entries need 17 levels); a
// larger header value is damage, and the bound keeps the recursive walk shallow.
constexpr int kMaxLevels = 32;

}  // namespace

TreeEntry TreeEntry::decode(const std::uint8_t* p, std::size_t key_length) {
    TreeEntry entry;
    entry.key = Bytes(p, key_length);
    entry.block = decode_tree_number(p + key_length);
    entry.count = decode_tree_number(p + key_length + 2);
    return entry;
}

void TreeEntry::encode(std::uint8_t* p) const {
    if (!key.empty()) std::memcpy(p, key.data(), key.size());
    encode_tree_number(block, p + key.size());
    encode_tree_number(count, p + key.size() + 2);
    encode_tree_number(0, p + key.size() + 4);
}

IndexTree IndexTree::open(const std::filesystem::path& path) {
    return IndexTree(BlockFile::open(path));
}

IndexTree::IndexTree(BlockFile file) : file_(std::move(file)) {
    const TableHeader& h = file_.header();
    if (!is_index_tree_file(h.file_type))
        throw FormatError(file_.name() + " is not an index tree (its file type is " +
                          std::to_string(static_cast<int>(h.file_type)) + ").");
    if (h.record_size != h.fields_width() + TreeEntry::kTrailerSize)
        file_.fail("its entries of " + std::to_string(h.record_size) +
                   " bytes do not fit its key of " + std::to_string(h.fields_width()) + " bytes");
    key_length_ = h.fields_width();
    if (h.index_levels > kMaxLevels || h.index_levels > h.file_blocks)
        file_.fail("its tree height " + std::to_string(h.index_levels) + " is impossible for " +
                   std::to_string(h.file_blocks) + " blocks");
    if (h.index_levels == 0 && h.num_records != 0)
        file_.fail("its header counts " + std::to_string(h.num_records) +
                   " entries but gives the tree no level");
}

// One walk from the root: each block is read once, level by level, depth first, so the
// level-1 entries come out in key order.
struct IndexTree::Walk {
    const IndexTree& tree;
    ChainGuard guard;
    std::vector<TreeLeaf>& leaves;
    std::uint64_t entries = 0;

    // Returns the sum of the counts in `block`, which stands at `level`.
    std::uint64_t visit(std::uint32_t block, int level, std::uint32_t from) {
        const BlockFile& file = tree.file_;
        guard.visit(block, from);
        std::vector<std::uint8_t> buffer;
        const DataBlockHeader head = file.read_data_block(block, buffer);
        const std::size_t record_size = file.header().record_size;
        const std::size_t count = head.record_count(record_size);
        if (count == 0)
            file.fail("block " + std::to_string(block) + " of tree level " + std::to_string(level) +
                      " holds no entries");
        entries += count;
        std::uint64_t sum = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const TreeEntry entry = TreeEntry::decode(
                buffer.data() + record_offset_in_block(i, record_size), tree.key_length_);
            if (level == 1) {
                leaves.push_back({{entry.key.begin(), entry.key.end()}, entry.block, entry.count});
            } else {
                const std::uint64_t below = visit(entry.block, level - 1, block);
                if (below != entry.count)
                    file.fail("entry " + std::to_string(i + 1) + " of block " +
                              std::to_string(block) + " counts " + std::to_string(entry.count) +
                              " records but its block " + std::to_string(entry.block) + " counts " +
                              std::to_string(below));
            }
            sum += entry.count;
        }
        return sum;
    }
};

std::vector<TreeLeaf> IndexTree::leaves() const {
    std::vector<TreeLeaf> leaves;
    const TableHeader& h = file_.header();
    if (h.index_levels == 0) return leaves;
    Walk walk{*this, ChainGuard(file_, "index tree"), leaves};
    walk.visit(h.index_root, h.index_levels, 0);
    if (walk.entries != h.num_records)
        file_.fail("its header counts " + std::to_string(h.num_records) +
                   " entries but its tree holds " + std::to_string(walk.entries));
    return leaves;
}

}  // namespace pdx
