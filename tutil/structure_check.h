#pragma once

// The checks of a table's data file that follow its single pass: the header against the
// file, the chain of data blocks, the free list, the record count, the key order along the
// chain and the auto-increment counter.

#include <cstdint>
#include <vector>

#include "tutil/data_check.h"
#include "tutil/findings.h"

namespace vaq::tutil {

struct Chain {
    std::vector<std::uint32_t> blocks;  // in chain order, as far as the chain could be followed
    std::vector<bool> member;           // by block number
    std::uint64_t records = 0;          // records of the chain's blocks
};

// Checks of the header alone, before any block is read.
void check_header(const pdx::BlockFile& file, Findings& findings);

// Follows the chain and the free list over what the pass found.
Chain check_structure(const DataCheck& data, Findings& findings);

}  // namespace vaq::tutil
