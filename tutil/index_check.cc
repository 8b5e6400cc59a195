#include "tutil/index_check.h"

#include <algorithm>
#include <cstring>

#include "engine/format/format_error.h"
#include "engine/format/index_records.h"
#include "engine/format/index_tree.h"
#include "engine/table/index_key_order.h"

namespace vaq::tutil {

namespace fs = std::filesystem;

namespace {

std::string file_name(const fs::path& path) {
    return path.filename().string();
}

// A family member that cannot be read at all leaves its checks undone; one that is read
// but is not what it should be is damaged.
template <typename Open>
auto open_member(const std::string& name, Findings& findings, Weight damage, Open open)
    -> std::optional<decltype(open())> {
    try {
        return open();
    } catch (const pdx::FormatError& error) {
        findings.add(damage, name, error.what());
    } catch (const vaq::Error& error) {
        findings.add(Weight::kIncomplete, name, error.what());
    }
    return std::nullopt;
}

std::optional<std::uint8_t> primary_index_stamp(const TableFamily& family) {
    if (!family.primary_index) return std::nullopt;
    try {
        return pdx::BlockFile::open(*family.primary_index).header().index_stamp;
    } catch (const vaq::Error&) {
        return std::nullopt;
    }
}

// A maintained index, or one whose stamp says it is up to date with the primary index,
// is relied upon: its faults are damage. Otherwise the engine rebuilds it before use.
Weight fault_weight(const pdx::SecondaryIndexLayout& layout, const pdx::TableHeader& x,
                    std::optional<std::uint8_t> px_stamp) {
    if (layout.maintained) return Weight::kError;
    return px_stamp && x.index_sync_stamp == *px_stamp ? Weight::kError : Weight::kNote;
}

std::size_t key_length_of(const pdx::TableHeader& table) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < table.key_fields && i < table.fields.size(); ++i)
        length += table.fields[i].descriptor.width();
    return length;
}

std::size_t field_offset(const pdx::TableHeader& table, std::size_t index) {
    std::size_t offset = 0;
    for (std::size_t i = 0; i < index; ++i)
        offset += table.fields[i].descriptor.width();
    return offset;
}

// The X file's fields must be the table's indexed fields, then (maintained) its key fields.
std::optional<std::string> layout_mismatch(const pdx::SecondaryIndexLayout& layout,
                                           const pdx::TableHeader& x,
                                           const pdx::TableHeader& table) {
    std::size_t at = 0;
    for (const pdx::IndexedField& f : layout.fields) {
        if (f.table_field == 0 || f.table_field > table.fields.size())
            return "it indexes field " + std::to_string(f.table_field) + ", which the table lacks";
        if (!(x.fields[at].descriptor == table.fields[f.table_field - 1].descriptor))
            return "its field " + std::to_string(at + 1) + " differs from table field " +
                   std::to_string(f.table_field);
        ++at;
    }
    if (layout.maintained)
        for (std::size_t k = 0; k < table.key_fields; ++k, ++at)
            if (at >= x.fields.size() || !(x.fields[at].descriptor == table.fields[k].descriptor))
                return "its copy of the primary key differs from the table's key fields";
    return std::nullopt;
}

EntryPlan plan_of(const pdx::SecondaryIndexLayout& layout, const pdx::TableHeader& table) {
    EntryPlan plan;
    for (const pdx::IndexedField& f : layout.fields) {
        const pdx::FieldDescriptor& d = table.fields[f.table_field - 1].descriptor;
        plan.ranges.push_back({field_offset(table, f.table_field - 1), d.width(),
                               layout.case_insensitive && d.type == pdx::FieldType::kAlpha});
    }
    if (layout.maintained)
        plan.ranges.push_back({0, key_length_of(table), false});
    else
        plan.with_place = true;
    return plan;
}

// The same entry as the X file stores it: its indexed fields, then the primary key
// (maintained) or Tup No, Blk Num and Tup Offset, of which Tup No is left out: the place
// in table order follows from the block and offset.
std::uint64_t stored_entry_hash(const pdx::SecondaryIndexLayout& layout, const pdx::TableHeader& x,
                                pdx::Bytes record) {
    EntryHasher hasher;
    std::size_t offset = 0;
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
        const pdx::FieldDescriptor& d = x.fields[i].descriptor;
        const pdx::Bytes bytes = record.subspan(offset, d.width());
        if (layout.case_insensitive && d.type == pdx::FieldType::kAlpha)
            hasher.add_folded(bytes);
        else
            hasher.add(bytes);
        offset += d.width();
    }
    if (layout.maintained)
        hasher.add(record.subspan(offset, record.size() - offset - 2));  // not Blk Num, a hint
    else
        hasher.add(record.last(4));  // Blk Num, Tup Offset
    return hasher.value();
}

// One data block of an index file as a tree over it sees it.
struct IndexBlock {
    std::uint32_t block = 0;
    std::size_t count = 0;
    std::vector<std::uint8_t> first_key;
};

// Compares the level-1 entries of a tree with the blocks it indexes, in order. Returns
// the first disagreement.
std::optional<std::string> compare_leaves(const std::vector<pdx::TreeLeaf>& leaves,
                                          const std::vector<IndexBlock>& blocks,
                                          const pdx::KeyOrder* order) {
    if (leaves.size() != blocks.size())
        return "it has " + std::to_string(leaves.size()) + " entries for " +
               std::to_string(blocks.size()) + " blocks with records";
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        const pdx::TreeLeaf& leaf = leaves[i];
        const IndexBlock& b = blocks[i];
        const std::string entry = "its entry " + std::to_string(i + 1);
        if (leaf.block != b.block)
            return entry + " names block " + std::to_string(leaf.block) + " where block " +
                   std::to_string(b.block) + " comes";
        if (leaf.count != b.count)
            return entry + " counts " + std::to_string(leaf.count) + " records in block " +
                   std::to_string(b.block) + ", which holds " + std::to_string(b.count);
        const std::size_t n = std::min(leaf.key.size(), b.first_key.size());
        if (std::memcmp(leaf.key.data(), b.first_key.data(), n) == 0) continue;
        // Leniently, a key below the block's first key still finds the block.
        const auto cmp = order ? order->certain_compare(leaf.key, b.first_key) : std::nullopt;
        if (!cmp || *cmp > 0)
            return entry + " does not hold the first key of block " + std::to_string(b.block);
    }
    return std::nullopt;
}

std::vector<IndexBlock> chain_blocks(const DataCheck& data, const Chain& chain) {
    std::vector<IndexBlock> blocks;
    for (std::uint32_t block : chain.blocks) {
        const BlockState& state = data.blocks()[block];
        if (state.records == 0) continue;
        const pdx::Bytes key = data.first_key(block);
        blocks.push_back({block, state.records, {key.begin(), key.end()}});
    }
    return blocks;
}

void check_tree_header(const pdx::TableHeader& tree, const pdx::TableHeader& table,
                       std::size_t key_fields, std::optional<std::string>& problem) {
    if (tree.fields.size() != key_fields) {
        problem = "it holds " + std::to_string(tree.fields.size()) + " key fields instead of " +
                  std::to_string(key_fields);
        return;
    }
    for (std::size_t i = 0; i < key_fields; ++i)
        if (!(tree.fields[i].descriptor == table.fields[i].descriptor)) {
            problem = "its key field " + std::to_string(i + 1) + " differs from the table's";
            return;
        }
}

}  // namespace

std::vector<CheckedIndex> prepare_secondary_indexes(const TableFamily& family,
                                                    const pdx::TableHeader& table,
                                                    Findings& findings) {
    const std::optional<std::uint8_t> px_stamp = primary_index_stamp(family);
    const std::string stem = family.table.stem().string();
    std::vector<CheckedIndex> indexes;
    for (const SecondaryFiles& files : family.secondary) {
        CheckedIndex index;
        index.files = files;
        index.name = files.index ? file_name(*files.index) : stem + files.suffix.extension();
        if (!files.index) {
            findings.add(Weight::kError, index.name,
                         "The index file is missing; its tree " + file_name(*files.tree) +
                             " is still there.");
            indexes.push_back(std::move(index));
            continue;
        }
        index.file = open_member(index.name, findings, Weight::kError,
                                 [&] { return pdx::BlockFile::open(*files.index); });
        if (index.file) {
            try {
                index.layout = pdx::SecondaryIndexLayout::decode(index.file->header(),
                                                                 table.key_fields, index.name);
            } catch (const pdx::FormatError& error) {
                findings.add(Weight::kError, index.name, error.what());
            }
        }
        if (index.layout) {
            const Weight weight = fault_weight(*index.layout, index.file->header(), px_stamp);
            if (auto mismatch = layout_mismatch(*index.layout, index.file->header(), table)) {
                findings.add(weight, index.name,
                             "The index does not match the table: " + *mismatch + ".");
                index.layout.reset();
            } else {
                index.plan = plan_of(*index.layout, table);
            }
        }
        if (!files.tree)
            findings.add(
                Weight::kError, index.name,
                "The tree of the index (" + stem + files.suffix.tree_extension() + ") is missing.");
        indexes.push_back(std::move(index));
    }
    return indexes;
}

std::vector<EntryPlan> entry_plans(const std::vector<CheckedIndex>& indexes) {
    std::vector<EntryPlan> plans;
    for (const CheckedIndex& index : indexes)
        plans.push_back(index.layout ? index.plan : EntryPlan{});
    return plans;
}

void check_primary_index(const TableFamily& family, const DataCheck& data, const Chain& chain,
                         Findings& findings) {
    const pdx::TableHeader& table = data.file().header();
    const bool keyed = table.file_type == pdx::FileType::kKeyedTable;
    const std::string name = family.primary_index ? file_name(*family.primary_index)
                                                  : family.table.stem().string() + ".PX";
    if (!keyed) {
        if (family.primary_index)
            findings.add(Weight::kNote, name, "The table has no key; this file is not used.");
        return;
    }
    if (!family.primary_index) {
        findings.add(Weight::kError, name, "The primary index of the keyed table is missing.");
        return;
    }
    auto tree = open_member(name, findings, Weight::kError,
                            [&] { return pdx::IndexTree::open(*family.primary_index); });
    if (!tree) return;
    std::optional<std::string> problem;
    check_tree_header(tree->file().header(), table, table.key_fields, problem);
    if (!problem) {
        try {
            const auto leaves = tree->leaves();
            const auto& order = data.key_order();
            problem = compare_leaves(leaves, chain_blocks(data, chain), order ? &*order : nullptr);
        } catch (const pdx::FormatError& error) {
            findings.add(Weight::kError, name, error.what());
            return;
        }
    }
    if (problem)
        findings.add(Weight::kError, name,
                     "The primary index does not match the table: " + *problem + ".");
}

namespace {

// The walk over an X file: fingerprint of its entries, their order, its blocks.
struct IndexWalk {
    Fingerprint entries;
    std::vector<IndexBlock> blocks;
    std::size_t out_of_order = 0;
    std::size_t repeated = 0;
};

IndexWalk walk_index(const CheckedIndex& index, const pdx::TableHeader& table,
                     std::size_t tree_key_length) {
    const pdx::TableHeader& x = index.file->header();
    const pdx::SecondaryIndexLayout& layout = *index.layout;
    std::vector<pdx::KeyOrder::Part> parts;
    std::size_t offset = 0;
    for (std::size_t i = 0; i < layout.key_fields && i < x.fields.size(); ++i) {
        const bool descending =
            i < layout.fields.size() && (layout.fields[i].descending || layout.descending);
        parts.push_back({offset, x.fields[i].descriptor, descending});
        offset += x.fields[i].descriptor.width();
    }
    const pdx::KeyOrder order(std::move(parts), pdx::alpha_collation_of(table),
                              layout.case_insensitive);
    IndexWalk walk;
    pdx::IndexRecordReader reader(*index.file);
    std::vector<std::uint8_t> previous;
    for (bool more = reader.first(); more; more = reader.next()) {
        const pdx::Bytes record = reader.record();
        walk.entries.add(stored_entry_hash(layout, x, record));
        if (walk.blocks.empty() || walk.blocks.back().block != reader.block())
            walk.blocks.push_back(
                {reader.block(), 0, {record.begin(), record.begin() + tree_key_length}});
        ++walk.blocks.back().count;
        if (!previous.empty()) {
            const auto cmp = order.certain_compare(previous, record);
            if (cmp && *cmp > 0) ++walk.out_of_order;
            if ((cmp && *cmp == 0) ||
                std::equal(previous.begin(), previous.end(), record.begin(), record.end()))
                ++walk.repeated;
        }
        previous.assign(record.begin(), record.end());
    }
    return walk;
}

}  // namespace

void check_secondary_index(const CheckedIndex& index, std::size_t position,
                           const TableFamily& family, const DataCheck& data, const Chain& chain,
                           Findings& findings) {
    if (!index.file || !index.layout) return;
    const pdx::TableHeader& table = data.file().header();
    const pdx::TableHeader& x = index.file->header();
    const pdx::SecondaryIndexLayout& layout = *index.layout;
    const std::optional<std::uint8_t> px_stamp = primary_index_stamp(family);
    const Weight weight = fault_weight(layout, x, px_stamp);
    const auto report = [&](Weight w, const std::string& message) {
        findings.add(w, index.name, message);
    };

    // Family stamps: the X file carries the table's restructure stamp and, when maintained,
    // the primary index's change stamp of its last update.
    const auto behind = static_cast<std::uint8_t>(table.family_stamp - x.family_stamp);
    if (behind != 0 && behind < 0x80)
        report(weight, "The index was built for an older structure of the table.");
    if (layout.maintained && px_stamp && x.index_sync_stamp != *px_stamp)
        report(Weight::kError, "The index is out of date with the primary index.");
    if (!layout.maintained && (!px_stamp || x.index_sync_stamp != *px_stamp))
        report(Weight::kNote,
               "The index is not maintained and out of date; it is rebuilt when "
               "it is next used.");

    std::size_t tree_key_length = 0;
    for (std::size_t i = 0; i < layout.key_fields && i < x.fields.size(); ++i)
        tree_key_length += x.fields[i].descriptor.width();

    IndexWalk walk;
    try {
        walk = walk_index(index, table, tree_key_length);
    } catch (const pdx::FormatError& error) {
        report(weight, error.what());
        return;
    }
    if (walk.out_of_order > 0)
        report(weight, std::to_string(walk.out_of_order) + " entries are out of order.");
    if (walk.repeated > 0)
        report(weight, std::to_string(walk.repeated) + " entries repeat the entry before them.");

    Fingerprint expected;
    for (std::uint32_t block : chain.blocks)
        expected += data.entries(position, block);
    if (expected.count != walk.entries.count)
        report(weight, "The index holds " + std::to_string(walk.entries.count) +
                           " entries but the table holds " + std::to_string(expected.count) +
                           " records.");
    else if (!(expected == walk.entries))
        report(weight, "The index does not hold the entries of the table's records.");

    if (!index.files.tree) return;
    const std::string tree_name = file_name(*index.files.tree);
    auto tree = open_member(tree_name, findings, weight,
                            [&] { return pdx::IndexTree::open(*index.files.tree); });
    if (!tree) return;
    std::optional<std::string> problem;
    check_tree_header(tree->file().header(), x, layout.key_fields, problem);
    if (!problem) {
        try {
            problem = compare_leaves(tree->leaves(), walk.blocks, nullptr);
        } catch (const pdx::FormatError& error) {
            report(weight, error.what());
            return;
        }
    }
    if (problem)
        findings.add(weight, tree_name, "The tree does not match its index: " + *problem + ".");
}

void check_validity_stamp(const TableFamily& family, const pdx::TableHeader& table,
                          Findings& findings) {
    if (!family.validity) return;
    const std::string name = file_name(*family.validity);
    try {
        pdx::File file = pdx::File::open(*family.validity);
        std::uint8_t stamp = 0;
        if (file.read_at(0, pdx::MutableBytes(&stamp, 1)) != 1) {
            findings.add(Weight::kError, name, "The validity file is empty.");
            return;
        }
        if (stamp != table.family_stamp)
            findings.add(Weight::kError, name,
                         "The validity file is out of date: it was written for another "
                         "structure of the table.");
    } catch (const vaq::Error& error) {
        findings.add(Weight::kIncomplete, name, error.what());
    }
}

}  // namespace vaq::tutil
