#include "engine/format/index_tree_build.h"

#include <algorithm>

#include "common/error.h"
#include "engine/format/block_image.h"
#include "engine/format/data_block.h"
#include "engine/format/index_tree.h"
#include "engine/format/new_table.h"

namespace pdx {

namespace {

constexpr std::uint32_t kMaxBlocks = 0xFFFF;
// Tree entries store their counts in 16 bits.
constexpr std::uint64_t kMaxEntryCount = 0xFFFF;

struct LevelEntry {
    std::vector<std::uint8_t> key;
    std::uint16_t child = 0;
    std::uint64_t count = 0;
};

}  // namespace

std::size_t tree_block_fill(const TableHeader& header) {
    const std::size_t capacity =
        (header.block_size() - DataBlockHeader::kEncodedSize) / header.record_size;
    // Two entries at least, or a level would never shrink.
    return std::max<std::size_t>(2, capacity - 1);
}

void build_index_tree(File& file, TableHeader header, const std::vector<IndexLeaf>& leaves,
                      std::size_t level_one_fill, const std::string& when_full) {
    clear_block_counts(header);
    const std::size_t block_size = header.block_size();
    const std::size_t record_size = header.record_size;
    const std::size_t fill = tree_block_fill(header);
    std::vector<LevelEntry> level;
    level.reserve(leaves.size());
    for (const IndexLeaf& leaf : leaves)
        level.push_back({leaf.key, leaf.block, leaf.count});

    std::vector<std::uint8_t> scratch(record_size);
    std::vector<std::uint8_t> run;
    std::uint32_t next_block = 1;
    std::uint32_t entries = 0;
    int levels = 0;
    while (!level.empty()) {
        ++levels;
        const std::size_t per_block = levels == 1 ? std::max<std::size_t>(2, level_one_fill) : fill;
        const std::size_t blocks = (level.size() + per_block - 1) / per_block;
        if (next_block - 1 + blocks > kMaxBlocks) throw vaq::Error(when_full);
        std::vector<LevelEntry> above;
        run.clear();
        run.reserve(blocks * block_size);
        const std::uint32_t first_of_level = next_block;
        for (std::size_t b = 0; b < blocks; ++b) {
            const auto number = static_cast<std::uint16_t>(next_block++);
            BlockImage image(number, block_size, record_size);
            image.set_prev(static_cast<std::uint16_t>(number - 1));
            image.set_next(blocks == 1 ? std::uint16_t{0} : static_cast<std::uint16_t>(number + 1));
            const std::size_t begin = b * per_block;
            const std::size_t end = std::min(level.size(), begin + per_block);
            std::uint64_t sum = 0;
            for (std::size_t i = begin; i < end; ++i) {
                std::fill(scratch.begin(), scratch.end(), std::uint8_t{0});
                const auto count =
                    static_cast<std::uint16_t>(std::min(level[i].count, kMaxEntryCount));
                TreeEntry{level[i].key, level[i].child, count}.encode(scratch.data());
                image.insert(image.count(), scratch.data());
                sum += level[i].count;
            }
            entries += static_cast<std::uint32_t>(end - begin);
            above.push_back({level[begin].key, number, sum});
            const std::vector<std::uint8_t>& bytes = image.encode();
            run.insert(run.end(), bytes.begin(), bytes.end());
        }
        file.write_at(header.block_offset(first_of_level), run);
        if (blocks == 1) {
            header.index_root = static_cast<std::uint16_t>(next_block - 1);
            break;
        }
        level = std::move(above);
    }
    set_tree_counts(header, entries, static_cast<std::uint16_t>(next_block - 1), levels);
    file.write_at(0, header.encode());
}

}  // namespace pdx
