#pragma once

// An order-independent fingerprint of a set of index entries: two sums of 64-bit hashes and
// the number of entries. Comparing the fingerprint of the entries a table's records call
// for with that of the entries an index file holds tells, in constant memory, whether the
// index holds exactly those entries (a false "equal" needs two 64-bit sums to collide).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/format/coding.h"

namespace vaq::tutil {

// Hashes bytes fed in pieces as one string (FNV-1a, then a final mix).
class EntryHasher {
  public:
    void add(pdx::Bytes bytes) {
        for (std::uint8_t b : bytes)
            h_ = (h_ ^ b) * 0x100000001b3ull;
    }
    // Alpha text of a case-insensitive index, which the index stores in one letter case:
    // ASCII letters count as upper case; every byte beyond ASCII counts alike, because how
    // a code page's other letters are folded is not established.
    void add_folded(pdx::Bytes bytes) {
        for (std::uint8_t b : bytes) {
            if (b >= 'a' && b <= 'z') b = static_cast<std::uint8_t>(b - 'a' + 'A');
            if (b >= 0x80) b = 0x80;
            h_ = (h_ ^ b) * 0x100000001b3ull;
        }
    }
    std::uint64_t value() const {
        std::uint64_t x = h_;
        x ^= x >> 33;
        x *= 0xff51afd7ed558ccdull;
        x ^= x >> 33;
        x *= 0xc4ceb9fe1a85ec53ull;
        x ^= x >> 33;
        return x;
    }

  private:
    std::uint64_t h_ = 0xcbf29ce484222325ull;
};

struct Fingerprint {
    std::uint64_t count = 0;
    std::uint64_t sum = 0;
    std::uint64_t mixed = 0;

    void add(std::uint64_t hash) {
        ++count;
        sum += hash;
        mixed += (hash ^ 0x9e3779b97f4a7c15ull) * (hash | 1);
    }
    Fingerprint& operator+=(const Fingerprint& other) {
        count += other.count;
        sum += other.sum;
        mixed += other.mixed;
        return *this;
    }
    friend bool operator==(const Fingerprint&, const Fingerprint&) = default;
};

// A field's bytes in a record; `folded` for the alpha fields of a case-insensitive index.
struct ByteRange {
    std::size_t offset = 0;
    std::size_t width = 0;
    bool folded = false;
};

// How a secondary index forms its entry from a table record: byte ranges of the record in
// entry order, and for an index that is not maintained the record's place (block number and
// offset in the block, stored like Short fields) after them.
struct EntryPlan {
    std::vector<ByteRange> ranges;
    bool with_place = false;

    std::uint64_t hash(pdx::Bytes record, std::uint32_t block, std::size_t slot,
                       std::size_t record_size) const;
};

}  // namespace vaq::tutil
