#pragma once

// The random numbers of the database generator. A database is a function of its seed: the
// generator uses its own small generator (splitmix64) and its own reductions to ranges, not
// the standard distributions, whose results differ between library versions.

#include <cstdint>
#include <span>
#include <string_view>

namespace vaq::bench {

class Random {
  public:
    // One stream per purpose, so that a change in how many numbers one table draws leaves
    // every other table as it was: the purpose's name is mixed into the seed.
    Random(std::uint64_t seed, std::string_view purpose) : state_(seed ^ hash(purpose)) { next(); }

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    // A number in [low, high]; the bias of the modulo is far below anything a test sees.
    std::int64_t between(std::int64_t low, std::int64_t high) {
        const auto span = static_cast<std::uint64_t>(high - low) + 1;
        return low + static_cast<std::int64_t>(next() % span);
    }
    int between(int low, int high) {
        return static_cast<int>(between(std::int64_t{low}, std::int64_t{high}));
    }

    // True in `percent` cases out of a hundred (fractions allowed).
    bool chance(double percent) {
        return static_cast<double>(next() >> 11) * 0x1.0p-53 * 100.0 < percent;
    }

    template <typename T>
    const T& pick(std::span<const T> items) {
        return items[static_cast<std::size_t>(next() % items.size())];
    }

  private:
    static std::uint64_t hash(std::string_view text) {
        std::uint64_t h = 0xCBF29CE484222325ULL;  // FNV-1a
        for (const char c : text) {
            h ^= static_cast<unsigned char>(c);
            h *= 0x100000001B3ULL;
        }
        return h;
    }

    std::uint64_t state_;
};

}  // namespace vaq::bench
