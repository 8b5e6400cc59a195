#pragma once

// The checks of the .MB blob file and of the records' references into it: the file is a
// whole number of 4096-byte units, walking it by the blocks' sizes covers it exactly with a
// header block first and then single-value, sub-allocated and free blocks; slots of
// sub-allocated blocks hold data inside their block without overlapping; every reference
// of a record leads to a value of its length and modification number, and no two
// references share a value. Values no record refers to are noted (space lost, not damage).

#include <vector>

#include "tutil/data_check.h"
#include "tutil/family.h"
#include "tutil/findings.h"
#include "tutil/structure_check.h"

namespace vaq::tutil {

void check_blobs(const TableFamily& family, const DataCheck& data, const Chain& chain,
                 Findings& findings);

}  // namespace vaq::tutil
