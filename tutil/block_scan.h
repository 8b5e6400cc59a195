#pragma once

// Reads every block of a .DB (or X) file in one sequential pass, from the first block to the
// last one the file holds, in large reads, decrypted when the table is encrypted. The chain
// plays no part: blocks that fell off it are read like the others. This is what makes verify
// and rebuild cost about as much as copying the file.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "engine/format/block_file.h"
#include "engine/format/coding.h"

namespace vaq::tutil {

struct ScannedBlock {
    std::uint32_t number = 0;  // 1-based
    pdx::Bytes bytes;          // block size bytes; what the file does not hold reads as zeros
    std::size_t present = 0;   // bytes the file holds
};

// Blocks the scan visits: every block that starts inside the file, beyond the header's block
// count too (at most 65535).
std::uint32_t blocks_to_scan(const pdx::BlockFile& file);

// Calls `visit` for every block in file order; `progress` (may be empty) gets the share done
// in percent after each read. Throws vaq::Error when the file cannot be read.
void scan_blocks(const pdx::BlockFile& file, const std::function<void(const ScannedBlock&)>& visit,
                 const std::function<void(int)>& progress = {});

}  // namespace vaq::tutil
