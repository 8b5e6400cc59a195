#include "engine/table/primary_index_writer.h"

#include <algorithm>
#include <limits>

#include "common/error.h"
#include "engine/format/block_chain.h"
#include "engine/format/block_image.h"
#include "engine/format/header_counters.h"
#include "engine/format/index_tree.h"
#include "engine/format/index_tree_build.h"
#include "engine/format/new_table.h"

namespace pdx {

namespace {

constexpr int kMaxLevels = 32;
constexpr std::uint16_t kMaxBlocks = 0xFFFF;

std::uint16_t stored_count(std::uint64_t count) {
    return static_cast<std::uint16_t>(std::min<std::uint64_t>(count, 0xFFFF));
}

void encode_entry(BlockImage& image, Bytes key, std::uint16_t child, std::uint64_t count,
                  std::vector<std::uint8_t>& scratch) {
    scratch.assign(image.record_size(), 0);
    TreeEntry{key, child, stored_count(count)}.encode(scratch.data());
    image.insert(image.count(), scratch.data());
}

}  // namespace

PrimaryIndexWriter::PrimaryIndexWriter(BlockFile& file, KeyOrder order)
    : file_(file), order_(std::move(order)) {
    load();
}

void PrimaryIndexWriter::load() {
    header_ = file_.header();
    key_length_ = header_.fields_width();
    nodes_.clear();
    leaf_of_.clear();
    free_.clear();
    dirty_.clear();
    freed_.clear();
    changed_ = false;
    if (header_.index_levels > kMaxLevels)
        file_.fail("its tree height " + std::to_string(header_.index_levels) + " is impossible");
    if (header_.index_levels > 0) load_node(header_.index_root, header_.index_levels, 0, 0);
    std::uint64_t entries = 0;
    for (const auto& [block, n] : nodes_)
        entries += n.entries.size();
    if (entries != header_.num_records)
        file_.fail("its header counts " + std::to_string(header_.num_records) +
                   " entries but its tree holds " + std::to_string(entries));
    if (nodes_.size() != header_.blocks_in_use)
        file_.fail("its header counts " + std::to_string(header_.blocks_in_use) +
                   " blocks in use but its tree has " + std::to_string(nodes_.size()));

    std::vector<std::uint16_t> free_list;
    std::vector<std::uint8_t> buffer;
    for (BlockChainWalk walk(file_, header_.first_free_block, "free list"); !walk.done();
         walk.advance(DataBlockHeader::decode(buffer.data()).next_block)) {
        const std::uint32_t block = walk.block();
        if (nodes_.count(static_cast<std::uint16_t>(block)))
            file_.fail("block " + std::to_string(block) + " is both free and in the tree");
        file_.read_block(block, buffer);
        free_list.push_back(static_cast<std::uint16_t>(block));
    }
    free_.assign(free_list.rbegin(), free_list.rend());
}

void PrimaryIndexWriter::load_node(std::uint16_t block, int level, std::uint16_t parent,
                                   int depth) {
    if (nodes_.count(block)) file_.fail("block " + std::to_string(block) + " is reached twice");
    if (depth > kMaxLevels) file_.fail("its tree is deeper than its header says");
    std::vector<std::uint8_t> buffer;
    const DataBlockHeader head = file_.read_data_block(block, buffer);
    const std::size_t count = head.record_count(header_.record_size);
    if (count == 0)
        file_.fail("block " + std::to_string(block) + " of tree level " + std::to_string(level) +
                   " holds no entries");
    Node n;
    n.block = block;
    n.level = level;
    n.parent = parent;
    n.next = head.next_block;
    n.prev = head.prev_block;
    for (std::size_t i = 0; i < count; ++i) {
        const TreeEntry e = TreeEntry::decode(
            buffer.data() + record_offset_in_block(i, header_.record_size), key_length_);
        n.entries.push_back({{e.key.begin(), e.key.end()}, e.block, e.count});
    }
    nodes_.emplace(block, n);
    for (std::size_t i = 0; i < count; ++i) {
        Entry& e = nodes_.at(block).entries[i];
        if (level == 1) {
            if (!leaf_of_.emplace(e.child, block).second)
                file_.fail("data block " + std::to_string(e.child) + " has two entries");
        } else {
            const std::uint16_t child = e.child;
            load_node(child, level - 1, block, depth + 1);
            nodes_.at(block).entries[i].count = total(nodes_.at(child));
        }
    }
}

PrimaryIndexWriter::Node& PrimaryIndexWriter::node(std::uint16_t block) {
    const auto it = nodes_.find(block);
    if (it == nodes_.end()) file_.fail("block " + std::to_string(block) + " is not in its tree");
    return it->second;
}

const PrimaryIndexWriter::Node& PrimaryIndexWriter::node(std::uint16_t block) const {
    const auto it = nodes_.find(block);
    if (it == nodes_.end()) file_.fail("block " + std::to_string(block) + " is not in its tree");
    return it->second;
}

std::size_t PrimaryIndexWriter::capacity() const {
    return (header_.block_size() - DataBlockHeader::kEncodedSize) / header_.record_size;
}

int PrimaryIndexWriter::compare(Bytes a, Bytes b) const {
    if (auto order = order_.certain_compare(a, b)) return *order;
    throw vaq::Error("The sort order " + header_.sort_order_id + " of " + file_.name() +
                     " cannot place this key value among the others; nothing was changed.");
}

std::vector<IndexLeaf> PrimaryIndexWriter::leaves() const {
    std::vector<IndexLeaf> out;
    if (empty()) return out;
    // Depth first from the root: level-1 entries come out in key order.
    std::vector<std::pair<std::uint16_t, std::size_t>> stack{{header_.index_root, 0}};
    while (!stack.empty()) {
        auto& [block, i] = stack.back();
        const Node& n = node(block);
        if (i == n.entries.size()) {
            stack.pop_back();
            continue;
        }
        const Entry& e = n.entries[i++];
        if (n.level == 1)
            out.push_back({e.child, e.key, e.count});
        else
            stack.emplace_back(e.child, 0);
    }
    return out;
}

std::uint16_t PrimaryIndexWriter::find_block(Bytes key) const {
    const Node* n = &node(header_.index_root);
    while (true) {
        // The last entry whose key is not above `key`; the first one when all are.
        std::size_t low = 0;
        std::size_t high = n->entries.size();
        while (high - low > 1) {
            const std::size_t mid = (low + high) / 2;
            if (compare(n->entries[mid].key, key) <= 0)
                low = mid;
            else
                high = mid;
        }
        const Entry& e = n->entries[low];
        if (n->level == 1) return e.child;
        n = &node(e.child);
    }
}

std::size_t PrimaryIndexWriter::index_in_parent(const Node& child) const {
    const Node& p = node(child.parent);
    for (std::size_t i = 0; i < p.entries.size(); ++i)
        if (p.entries[i].child == child.block) return i;
    file_.fail("block " + std::to_string(child.block) + " is missing from its parent");
}

std::uint32_t PrimaryIndexWriter::total(const Node& n) const {
    std::uint64_t sum = 0;
    for (const Entry& e : n.entries)
        sum += e.count;
    return static_cast<std::uint32_t>(sum);
}

std::uint32_t PrimaryIndexWriter::records_before(std::uint16_t block) const {
    const Node* n = &node(leaf_of_.at(block));
    std::uint64_t sum = 0;
    for (const Entry& e : n->entries) {
        if (e.child == block) break;
        sum += e.count;
    }
    while (n->parent != 0) {
        const Node& p = node(n->parent);
        const std::size_t at = index_in_parent(*n);
        for (std::size_t i = 0; i < at; ++i)
            sum += p.entries[i].count;
        n = &p;
    }
    return static_cast<std::uint32_t>(sum);
}

void PrimaryIndexWriter::add_to_ancestors(std::uint16_t node_block, std::int64_t delta) {
    if (delta == 0) return;
    const Node* n = &node(node_block);
    while (n->parent != 0) {
        Node& p = node(n->parent);
        Entry& e = p.entries[index_in_parent(*n)];
        e.count = static_cast<std::uint32_t>(static_cast<std::int64_t>(e.count) + delta);
        touch(p.block);
        n = &p;
    }
}

void PrimaryIndexWriter::propagate_first_key(std::uint16_t node_block) {
    const Node* n = &node(node_block);
    while (n->parent != 0) {
        Node& p = node(n->parent);
        const std::size_t at = index_in_parent(*n);
        if (p.entries[at].key == n->entries.front().key) return;
        p.entries[at].key = n->entries.front().key;
        touch(p.block);
        if (at != 0) return;
        n = &p;
    }
}

void PrimaryIndexWriter::set_count(std::uint16_t block, std::uint32_t count) {
    const std::uint16_t nb = leaf_of_.at(block);
    Node& n = node(nb);
    for (Entry& e : n.entries) {
        if (e.child != block) continue;
        const std::int64_t delta = static_cast<std::int64_t>(count) - e.count;
        e.count = count;
        touch(nb);
        add_to_ancestors(nb, delta);
        return;
    }
}

void PrimaryIndexWriter::set_first_key(std::uint16_t block, Bytes key) {
    const std::uint16_t nb = leaf_of_.at(block);
    Node& n = node(nb);
    for (std::size_t i = 0; i < n.entries.size(); ++i) {
        Entry& e = n.entries[i];
        if (e.child != block) continue;
        if (std::equal(e.key.begin(), e.key.end(), key.begin(), key.end())) return;
        e.key.assign(key.begin(), key.end());
        touch(nb);
        if (i == 0) propagate_first_key(nb);
        return;
    }
}

void PrimaryIndexWriter::set_child_link(const Entry& entry, int level, std::uint16_t parent) {
    if (level == 1)
        leaf_of_[entry.child] = parent;
    else
        node(entry.child).parent = parent;
}

void PrimaryIndexWriter::insert_after(std::uint16_t after, std::uint16_t block, Bytes key,
                                      std::uint32_t count) {
    Entry entry{{key.begin(), key.end()}, block, count};
    if (empty()) {
        const std::uint16_t root = allocate_block();
        Node n;
        n.block = root;
        n.level = 1;
        nodes_.emplace(root, n);
        link_after(0, root);
        header_.index_root = root;
        header_.index_levels = 1;
        insert_entry(root, 0, std::move(entry), true);
        return;
    }
    const std::uint16_t nb = leaf_of_.at(after);
    const Node& n = node(nb);
    std::size_t at = 0;
    while (n.entries[at].child != after)
        ++at;
    insert_entry(nb, at + 1, std::move(entry), true);
}

void PrimaryIndexWriter::insert_entry(std::uint16_t node_block, std::size_t at, Entry entry,
                                      bool add_count_above) {
    Node& n = node(node_block);
    const std::uint32_t count = entry.count;
    set_child_link(entry, n.level, node_block);
    n.entries.insert(n.entries.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
    ++header_.num_records;
    touch(node_block);
    if (add_count_above) add_to_ancestors(node_block, count);
    if (at == 0) propagate_first_key(node_block);
    if (n.entries.size() > capacity()) split(node_block);
}

void PrimaryIndexWriter::split(std::uint16_t node_block) {
    const std::uint16_t added = allocate_block();
    Node& n = node(node_block);
    Node right;
    right.block = added;
    right.level = n.level;
    right.parent = n.parent;
    const std::size_t half = n.entries.size() / 2;
    right.entries.assign(
        std::make_move_iterator(n.entries.begin() + static_cast<std::ptrdiff_t>(half)),
        std::make_move_iterator(n.entries.end()));
    n.entries.resize(half);
    nodes_.emplace(added, std::move(right));
    for (const Entry& e : node(added).entries)
        set_child_link(e, node(added).level, added);
    link_after(node_block, added);
    touch(node_block);
    touch(added);

    Node& left = node(node_block);
    const Node& fresh = node(added);
    if (left.parent == 0) {
        const std::uint16_t root = allocate_block();
        Node top;
        top.block = root;
        top.level = left.level + 1;
        top.entries.push_back({left.entries.front().key, node_block, total(left)});
        top.entries.push_back({fresh.entries.front().key, added, total(fresh)});
        nodes_.emplace(root, std::move(top));
        node(node_block).parent = root;
        node(added).parent = root;
        link_after(0, root);
        header_.index_root = root;
        header_.index_levels = static_cast<std::uint8_t>(header_.index_levels + 1);
        header_.num_records += 2;
        touch(root);
        return;
    }
    Node& p = node(left.parent);
    const std::size_t at = index_in_parent(left);
    p.entries[at].count = total(left);
    touch(p.block);
    // The records of the new block were counted above the parent already.
    insert_entry(p.block, at + 1, {fresh.entries.front().key, added, total(fresh)}, false);
}

void PrimaryIndexWriter::remove(std::uint16_t block) {
    const std::uint16_t nb = leaf_of_.at(block);
    set_count(block, 0);
    const Node& n = node(nb);
    std::size_t at = 0;
    while (n.entries[at].child != block)
        ++at;
    leaf_of_.erase(block);
    remove_entry(nb, at);
    collapse_root();
}

void PrimaryIndexWriter::remove_entry(std::uint16_t node_block, std::size_t at) {
    Node& n = node(node_block);
    n.entries.erase(n.entries.begin() + static_cast<std::ptrdiff_t>(at));
    --header_.num_records;
    touch(node_block);
    if (!n.entries.empty()) {
        if (at == 0) propagate_first_key(node_block);
        return;
    }
    if (n.parent == 0) {
        unlink_and_free(node_block);
        nodes_.erase(node_block);
        header_.index_root = 1;
        header_.index_levels = 0;
        return;
    }
    const std::uint16_t parent = n.parent;
    const std::size_t in_parent = index_in_parent(n);
    unlink_and_free(node_block);
    nodes_.erase(node_block);
    remove_entry(parent, in_parent);
}

void PrimaryIndexWriter::collapse_root() {
    while (header_.index_levels > 1 && node(header_.index_root).entries.size() == 1) {
        const std::uint16_t old_root = header_.index_root;
        const std::uint16_t child = node(old_root).entries.front().child;
        unlink_and_free(old_root);
        nodes_.erase(old_root);
        node(child).parent = 0;
        header_.index_root = child;
        header_.index_levels = static_cast<std::uint8_t>(header_.index_levels - 1);
        --header_.num_records;
    }
}

void PrimaryIndexWriter::rename_block(std::uint16_t old_block, std::uint16_t new_block) {
    const std::uint16_t nb = leaf_of_.at(old_block);
    for (Entry& e : node(nb).entries)
        if (e.child == old_block) e.child = new_block;
    leaf_of_.erase(old_block);
    leaf_of_[new_block] = nb;
    touch(nb);
}

bool PrimaryIndexWriter::has_room_for_split() const {
    const std::size_t fresh = kMaxBlocks - std::size_t{header_.file_blocks};
    return free_.size() + fresh >= std::size_t{header_.index_levels} + 1;
}

std::uint16_t PrimaryIndexWriter::allocate_block() {
    if (!free_.empty()) {
        const std::uint16_t block = free_.back();
        free_.pop_back();
        header_.first_free_block = free_.empty() ? 0 : free_.back();
        freed_.erase(block);
        return block;
    }
    if (header_.file_blocks >= kMaxBlocks)
        throw vaq::Error("Table is full: " + file_.name() + " has no room for more index blocks.");
    const auto block = static_cast<std::uint16_t>(header_.file_blocks + 1);
    set_file_blocks(header_, block);
    return block;
}

void PrimaryIndexWriter::link_after(std::uint16_t existing, std::uint16_t added) {
    Node& a = node(added);
    if (existing == 0) existing = header_.last_block;
    if (existing == 0) {
        a.prev = a.next = 0;
        header_.first_block = header_.last_block = added;
    } else {
        Node& e = node(existing);
        a.prev = existing;
        a.next = e.next;
        if (e.next != 0) {
            node(e.next).prev = added;
            touch(e.next);
        } else {
            header_.last_block = added;
        }
        e.next = added;
        touch(existing);
    }
    ++header_.blocks_in_use;
    touch(added);
}

void PrimaryIndexWriter::unlink_and_free(std::uint16_t block) {
    const Node& n = node(block);
    if (n.prev != 0) {
        node(n.prev).next = n.next;
        touch(n.prev);
    } else {
        header_.first_block = n.next;
    }
    if (n.next != 0) {
        node(n.next).prev = n.prev;
        touch(n.next);
    } else {
        header_.last_block = n.prev;
    }
    --header_.blocks_in_use;
    changed_ = true;
    free_.push_back(block);
    header_.first_free_block = block;
    freed_.insert(block);
    dirty_.erase(block);
}

void PrimaryIndexWriter::stage(ChangeJournal::Change& change) {
    if (!changed_) return;
    const std::size_t block_size = header_.block_size();
    std::vector<std::uint8_t> scratch;
    for (std::uint16_t block : dirty_) {
        const auto it = nodes_.find(block);
        if (it == nodes_.end()) continue;
        const Node& n = it->second;
        BlockImage image(block, block_size, header_.record_size);
        image.set_next(n.next);
        image.set_prev(n.prev);
        for (const Entry& e : n.entries)
            encode_entry(image, e.key, e.child, e.count, scratch);
        change.write(file_.file(), header_.block_offset(block), image.encode());
    }
    for (std::uint16_t block : freed_) {
        const auto at = std::find(free_.begin(), free_.end(), block);
        BlockImage image(block, block_size, header_.record_size);
        image.set_next(at == free_.begin() ? std::uint16_t{0} : *(at - 1));
        change.write(file_.file(), header_.block_offset(block), image.encode());
    }
    header_.index_stamp = static_cast<std::uint8_t>(header_.index_stamp + 1);
    const std::vector<std::uint8_t> encoded = header_.encode();
    change.write(file_.file(), 0, Bytes(encoded).first(kFixedHeaderSize));
}

void PrimaryIndexWriter::committed() {
    file_.set_header(header_);
    file_.refresh_size();
    dirty_.clear();
    freed_.clear();
    changed_ = false;
}

void PrimaryIndexWriter::reload() {
    load();
}

void PrimaryIndexWriter::build(File& file, TableHeader header,
                               const std::vector<IndexLeaf>& leaves) {
    build_index_tree(file, header, leaves, tree_block_fill(header),
                     "Table is full: its primary index needs more than 65535 blocks.");
}

}  // namespace pdx
