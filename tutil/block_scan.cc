#include "tutil/block_scan.h"

#include <fcntl.h>

#include <algorithm>
#include <vector>

#include "engine/format/crypt.h"

namespace vaq::tutil {

namespace {

// Bytes asked of the system per read: large enough that reading costs what copying costs.
constexpr std::size_t kReadSize = std::size_t{1} << 20;

}  // namespace

std::uint32_t blocks_to_scan(const pdx::BlockFile& file) {
    const pdx::TableHeader& h = file.header();
    if (file.file_size() <= h.header_size) return 0;
    const std::uint64_t data = file.file_size() - h.header_size;
    const std::uint64_t blocks = (data + h.block_size() - 1) / h.block_size();
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(blocks, 0xFFFF));
}

void scan_blocks(const pdx::BlockFile& file, const std::function<void(const ScannedBlock&)>& visit,
                 const std::function<void(int)>& progress) {
    const pdx::TableHeader& h = file.header();
    const std::size_t block_size = h.block_size();
    const std::uint32_t total = blocks_to_scan(file);
    if (total == 0) return;
    ::posix_fadvise(file.file().descriptor(), h.header_size, 0, POSIX_FADV_SEQUENTIAL);

    const std::size_t per_read = std::max<std::size_t>(1, kReadSize / block_size);
    std::vector<std::uint8_t> buffer(per_read * block_size);
    const std::uint32_t key = h.encryption_key();
    for (std::uint32_t first = 1; first <= total;) {
        const auto count =
            static_cast<std::uint32_t>(std::min<std::size_t>(per_read, total - first + 1));
        const pdx::MutableBytes chunk(buffer.data(), count * block_size);
        const std::size_t got = file.file().read_at(h.block_offset(first), chunk);
        std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(got),
                  buffer.begin() + static_cast<std::ptrdiff_t>(chunk.size()), 0);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::size_t start = i * block_size;
            const std::size_t present = got > start ? std::min(block_size, got - start) : 0;
            const pdx::MutableBytes block = chunk.subspan(start, block_size);
            // A scrambled block can only be unscrambled whole.
            if (key != 0 && present == block_size) pdx::decrypt_table_block(block, key, first + i);
            visit(ScannedBlock{first + i, block, present});
        }
        first += count;
        if (progress) progress(static_cast<int>(std::uint64_t{first - 1} * 100 / total));
    }
}

}  // namespace vaq::tutil
