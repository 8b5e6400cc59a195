#pragma once

// What a verification found, and the level it gives.
//
// Every finding has a weight; the level of a verification is the heaviest weight found:
//   kNote        0  worth knowing, not damage: a non-maintained index that is out of date,
//                   a date outside 100..9999, unused space in the .MB, a last block that the
//                   file cuts short after its records
//   kError       1  damage the rebuild repairs: counts, chains, free list, blocks or records
//                   that cannot be read, keys out of order or twice, a missing, stale or
//                   damaged index, an auto-increment counter below the data, broken blob
//                   references, family stamps that disagree, a rebuild flag left set
//   kIncomplete  2  a part of the table could not be checked: a file of the family that
//                   exists but cannot be read
//   kByHand      3  the table is a Paradox table but the rebuild cannot repair it by itself:
//                   its header no longer describes its records (field descriptors, record
//                   size, block size), or it is damaged and encrypted (never written here)
//   kFatal       4  not a Paradox table at all: too short, another file type, an unknown
//                   version; there is nothing to rebuild from

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vaq::tutil {

enum class Weight : std::uint8_t {
    kNote = 0,
    kError = 1,
    kIncomplete = 2,
    kByHand = 3,
    kFatal = 4
};

struct Finding {
    Weight weight = Weight::kError;
    std::string file;          // the family member ("Door.DB", "Door.PX")
    std::uint32_t block = 0;   // 1-based block of that file, 0 when none
    std::uint32_t record = 0;  // 1-based record slot in the block, 0 when none
    std::string message;       // a sentence without the file name

    friend bool operator==(const Finding&, const Finding&) = default;
};

class Findings {
  public:
    // Findings kept in full; more of them are counted, and one line says how many were left
    // out, so that a table of a million damaged records does not fill the memory.
    static constexpr std::size_t kKeptPerFile = 1000;

    void add(Finding finding);
    void add(Weight weight, std::string file, std::string message, std::uint32_t block = 0,
             std::uint32_t record = 0) {
        add(Finding{weight, std::move(file), block, record, std::move(message)});
    }

    // Everything found, with one closing line per file whose findings were cut.
    std::vector<Finding> entries() const;
    Weight worst() const { return worst_; }
    // How many findings of at least `weight` there were, the cut ones included.
    std::size_t count(Weight weight) const;
    bool damaged() const { return worst_ >= Weight::kError; }

  private:
    std::vector<Finding> kept_;
    std::map<std::string, std::size_t> kept_per_file_;
    std::map<std::string, std::size_t> left_out_per_file_;
    std::size_t by_weight_[5] = {};
    Weight worst_ = Weight::kNote;
};

}  // namespace vaq::tutil
