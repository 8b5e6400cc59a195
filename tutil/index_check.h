#pragma once

// The checks of a table's indexes against its data:
//   - the primary index (.PX): present exactly when the table is keyed, its header matching
//     the table's key, its tree sound, one level-1 entry per data block of the chain in
//     chain order with the block's record count and first key;
//   - every secondary index (.Xnn/.XGn with its .Ynn/.YGn): its header matching the table's
//     fields, its entries sorted, exactly the entries the table's records call for (compared
//     by fingerprint), its tree sound and matching the X file's blocks;
//   - the family stamps that tie the files together.
// Faults of a maintained index, and of an index that claims to be up to date, are errors;
// an index that is not maintained and says it is out of date is only noted: the engine that
// uses it rebuilds it first.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/block_file.h"
#include "engine/format/index_header.h"
#include "tutil/data_check.h"
#include "tutil/family.h"
#include "tutil/findings.h"
#include "tutil/structure_check.h"

namespace vaq::tutil {

struct CheckedIndex {
    SecondaryFiles files;
    std::string name;  // the X file's name, or the Y file's when the X file is missing
    std::optional<pdx::BlockFile> file;
    std::optional<pdx::SecondaryIndexLayout> layout;
    EntryPlan plan;  // meaningful when layout is set
};

// Opens the secondary indexes and works out how each forms its entries, before the pass
// over the data.
std::vector<CheckedIndex> prepare_secondary_indexes(const TableFamily& family,
                                                    const pdx::TableHeader& table,
                                                    Findings& findings);

// The entry plans of the indexes prepared, in order (an empty plan for unusable ones).
std::vector<EntryPlan> entry_plans(const std::vector<CheckedIndex>& indexes);

void check_primary_index(const TableFamily& family, const DataCheck& data, const Chain& chain,
                         Findings& findings);

// `position` is the index's place in the prepared list (its fingerprints in `data`).
void check_secondary_index(const CheckedIndex& index, std::size_t position,
                           const TableFamily& family, const DataCheck& data, const Chain& chain,
                           Findings& findings);

// The validity file's stamp against the table's.
void check_validity_stamp(const TableFamily& family, const pdx::TableHeader& table,
                          Findings& findings);

}  // namespace vaq::tutil
