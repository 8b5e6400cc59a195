#include "tutil/structure_check.h"

#include <algorithm>

namespace vaq::tutil {

namespace {

std::string block_text(std::uint32_t block) {
    return "Block " + std::to_string(block);
}

class StructureCheck {
  public:
    StructureCheck(const DataCheck& data, Findings& findings)
        : data_(data),
          findings_(findings),
          h_(data.file().header()),
          name_(data.file().name()),
          blocks_(data.blocks()) {
        chain_.member.assign(blocks_.size(), false);
    }

    Chain run() {
        check_file_size();
        walk_chain();
        check_counts();
        walk_free_list();
        check_lost_blocks();
        check_key_order();
        check_auto_increment();
        return std::move(chain_);
    }

  private:
    void error(const std::string& message, std::uint32_t block = 0) {
        findings_.add(Weight::kError, name_, message, block);
    }

    // Blocks the file holds at least in part.
    std::uint32_t on_disk() const {
        return static_cast<std::uint32_t>(std::count_if(
            blocks_.begin() + 1, blocks_.end(), [](const BlockState& b) { return b.present > 0; }));
    }

    void check_file_size() {
        const std::uint32_t held = on_disk();
        if (held < h_.file_blocks)
            error("The file ends after " + std::to_string(held) + " of the " +
                  std::to_string(h_.file_blocks) + " blocks its header declares.");
        else if (held > h_.file_blocks)
            error("The file holds " + std::to_string(held) + " blocks, more than the " +
                  std::to_string(h_.file_blocks) + " its header declares.");
    }

    void walk_chain() {
        std::uint32_t previous = 0;
        for (std::uint32_t block = h_.first_block; block != 0;) {
            if (block >= blocks_.size() || block > h_.file_blocks) {
                error("The chain of data blocks leads from " + from(previous) + " to block " +
                      std::to_string(block) + ", outside the file.");
                break;
            }
            if (chain_.member[block]) {
                error("The chain of data blocks loops: " + from(previous) +
                          " leads back to block " + std::to_string(block) + ".",
                      block);
                break;
            }
            const BlockState& state = blocks_[block];
            if (!check_chain_block(block, previous, state)) break;
            chain_.member[block] = true;
            chain_.blocks.push_back(block);
            chain_.records += state.records;
            previous = block;
            block = state.head.next_block;
        }
        if (previous != h_.last_block)
            error("The chain of data blocks ends at " +
                  (previous == 0 ? std::string("no block") : block_text(previous)) +
                  " but the header names block " + std::to_string(h_.last_block) + " as its last.");
        if (chain_.blocks.size() != h_.blocks_in_use)
            error("The chain holds " + std::to_string(chain_.blocks.size()) +
                  " blocks but the header counts " + std::to_string(h_.blocks_in_use) +
                  " blocks in use.");
        if (h_.file_blocks > 0 && !chain_.blocks.empty() && !chain_.member[1])
            error("Block 1 is not in the chain of data blocks.", 1);
    }

    static std::string from(std::uint32_t previous) {
        return previous == 0 ? std::string("the header") : "block " + std::to_string(previous);
    }

    // False when the chain cannot be followed past this block.
    bool check_chain_block(std::uint32_t block, std::uint32_t previous, const BlockState& state) {
        if (state.present == 0) {
            error(block_text(block) + " of the chain lies beyond the end of the file.", block);
            return false;
        }
        if (!state.possible) {
            error(block_text(block) + " of the chain has an impossible record area size (" +
                      std::to_string(state.head.add_data_size) + " for records of " +
                      std::to_string(h_.record_size) + " bytes).",
                  block);
            return state.present >= pdx::DataBlockHeader::kEncodedSize;
        }
        if (state.head.prev_block != previous)
            error(block_text(block) + " links back to block " +
                      std::to_string(state.head.prev_block) + " instead of " +
                      (previous == 0 ? std::string("none") : std::to_string(previous)) + ".",
                  block);
        if (state.complete < state.records)
            error(block_text(block) + " holds " + std::to_string(state.records) +
                      " records but the file ends after " + std::to_string(state.complete) +
                      " of them.",
                  block);
        if (state.records == 0 && h_.num_records > 0)
            error(block_text(block) + " is in the chain but holds no record.", block);
        return true;
    }

    void check_counts() {
        if (chain_.records != h_.num_records)
            error("The header counts " + std::to_string(h_.num_records) +
                  " records but the chain of data blocks holds " + std::to_string(chain_.records) +
                  ".");
    }

    void walk_free_list() {
        free_.assign(blocks_.size(), false);
        std::uint32_t previous = 0;
        for (std::uint32_t block = h_.first_free_block; block != 0;) {
            const std::string where = previous == 0 ? "the header" : block_text(previous);
            if (block >= blocks_.size() || block > h_.file_blocks) {
                error("The free list leads from " + where + " to block " + std::to_string(block) +
                      ", outside the file.");
                return;
            }
            if (free_[block]) {
                error("The free list loops back to block " + std::to_string(block) + ".", block);
                return;
            }
            if (chain_.member[block]) {
                error(block_text(block) + " is both in the chain and in the free list.", block);
                return;
            }
            const BlockState& state = blocks_[block];
            if (state.present < pdx::DataBlockHeader::kEncodedSize) {
                error("Free block " + std::to_string(block) + " lies beyond the end of the file.",
                      block);
                return;
            }
            if (state.head.add_data_size != -static_cast<int>(h_.record_size))
                error("Free block " + std::to_string(block) + " is not marked empty.", block);
            free_[block] = true;
            previous = block;
            block = state.head.next_block;
        }
    }

    // Blocks neither in the chain nor in the free list: records there are lost to readers.
    void check_lost_blocks() {
        const std::uint32_t last =
            std::min<std::uint32_t>(h_.file_blocks, static_cast<std::uint32_t>(blocks_.size() - 1));
        for (std::uint32_t block = 1; block <= last; ++block) {
            if (chain_.member[block] || free_[block] || blocks_[block].present == 0) continue;
            const BlockState& state = blocks_[block];
            if (state.possible && state.complete > 0)
                error(block_text(block) + " holds " + std::to_string(state.complete) +
                          " records but is not in the chain of data blocks.",
                      block);
            else
                error(block_text(block) + " is neither in the chain nor in the free list.", block);
        }
    }

    void check_key_order() {
        const auto& order = data_.key_order();
        if (!order || !data_.keeps_keys()) return;
        for (std::size_t i = 1; i < chain_.blocks.size(); ++i) {
            const std::uint32_t before = chain_.blocks[i - 1];
            const std::uint32_t block = chain_.blocks[i];
            if (blocks_[before].complete == 0 || blocks_[block].complete == 0) continue;
            const pdx::Bytes last = data_.last_key(before);
            const pdx::Bytes first = data_.first_key(block);
            const auto cmp = compare(*order, last, first);
            if (cmp && *cmp == 0)
                error(block_text(block) + " starts with the key that ends block " +
                          std::to_string(before) + ".",
                      block);
            else if (cmp && *cmp > 0)
                error(block_text(block) +
                          " starts with a key that sorts before the last key "
                          "of block " +
                          std::to_string(before) + ".",
                      block);
        }
    }

    // Keys of key_length bytes compared as the primary key orders them.
    static std::optional<int> compare(const pdx::KeyOrder& order, pdx::Bytes a, pdx::Bytes b) {
        if (std::equal(a.begin(), a.end(), b.begin(), b.end())) return 0;
        return order.certain_compare(a, b);
    }

    void check_auto_increment() {
        if (!data_.checker().has_auto_increment()) return;
        std::int64_t largest = 0;
        for (std::uint32_t block : chain_.blocks)
            largest = std::max(largest, blocks_[block].max_auto_increment);
        if (largest > h_.auto_inc)
            error("The auto-increment counter is " + std::to_string(h_.auto_inc) +
                  " but the table already holds the value " + std::to_string(largest) + ".");
    }

    const DataCheck& data_;
    Findings& findings_;
    const pdx::TableHeader& h_;
    const std::string& name_;
    const std::vector<BlockState>& blocks_;
    Chain chain_;
    std::vector<bool> free_;
};

}  // namespace

void check_header(const pdx::BlockFile& file, Findings& findings) {
    const pdx::TableHeader& h = file.header();
    const auto error = [&](const std::string& message) {
        findings.add(Weight::kError, file.name(), message);
    };
    if (h.modified_flags1 != 0 || h.modified_flags2 != 0)
        error("The header marks the table as needing a rebuild.");
    if (h.index_update_required != 0) error("The header marks the indexes as needing an update.");
    if (h.has_extension() && h.encryption1 != pdx::kNoLevel3Encryption)
        error("The header's encryption mark (offset 0x25) is damaged.");
    if (h.num_records > 0 && h.first_block == 0)
        error("The header counts " + std::to_string(h.num_records) +
              " records but names no first block.");
    if (h.blocks_in_use > h.file_blocks)
        error("The header counts " + std::to_string(h.blocks_in_use) +
              " blocks in use, more than the " + std::to_string(h.file_blocks) +
              " blocks of the file.");
}

Chain check_structure(const DataCheck& data, Findings& findings) {
    return StructureCheck(data, findings).run();
}

}  // namespace vaq::tutil
