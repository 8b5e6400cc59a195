#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

namespace vaq {

// A fixed array of value-initialised elements in memory the kernel is asked to back with
// huge pages (2 MB on x86-64). A table that is read at random, like a hash table of a few
// megabytes, then costs one translation entry per 2 MB instead of one per 4 KB, and a
// lookup waits for its data only, not also for a walk of the page tables. Where the
// kernel has no huge page to give, the memory is ordinary pages and only slower.
template <typename T>
class HugePageArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

  public:
    HugePageArray() = default;
    explicit HugePageArray(std::size_t count, const T& value = T{}) : count_(count) {
        if (count == 0) return;
        const std::size_t bytes = count * sizeof(T);
        // Below one huge page the array stays on small pages: a huge page would be mostly
        // unused memory.
        const bool huge = bytes >= kHugePage;
        // Mapped a huge page larger, so that the array can start on a huge page boundary.
        mappedBytes_ = huge ? round_up(bytes) + kHugePage : bytes;
        void* mapped =
            mmap(nullptr, mappedBytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) throw std::bad_alloc();
        mapped_ = static_cast<char*>(mapped);
        char* aligned = mapped_;
        if (huge) {
            aligned += kHugePage - reinterpret_cast<std::uintptr_t>(mapped_) % kHugePage;
            // Advice only: a kernel without transparent huge pages refuses it, and the array
            // works on small pages.
            (void)madvise(aligned, round_up(bytes), MADV_HUGEPAGE);
        }
        data_ = reinterpret_cast<T*>(aligned);
        for (std::size_t i = 0; i < count; ++i)
            new (data_ + i) T(value);
    }
    ~HugePageArray() { release(); }
    HugePageArray(HugePageArray&& other) noexcept { take(other); }
    HugePageArray& operator=(HugePageArray&& other) noexcept {
        if (this != &other) {
            release();
            take(other);
        }
        return *this;
    }
    HugePageArray(const HugePageArray&) = delete;
    HugePageArray& operator=(const HugePageArray&) = delete;

    std::size_t size() const { return count_; }
    T& operator[](std::size_t i) { return data_[i]; }
    const T& operator[](std::size_t i) const { return data_[i]; }

  private:
    static constexpr std::size_t kHugePage = std::size_t{2} << 20;
    static std::size_t round_up(std::size_t bytes) {
        return (bytes + kHugePage - 1) / kHugePage * kHugePage;
    }
    void release() {
        if (mapped_) munmap(mapped_, mappedBytes_);
        mapped_ = nullptr;
    }
    void take(HugePageArray& other) {
        mapped_ = std::exchange(other.mapped_, nullptr);
        data_ = std::exchange(other.data_, nullptr);
        count_ = std::exchange(other.count_, 0);
        mappedBytes_ = std::exchange(other.mappedBytes_, 0);
    }

    char* mapped_ = nullptr;
    T* data_ = nullptr;
    std::size_t count_ = 0;
    std::size_t mappedBytes_ = 0;
};

}  // namespace vaq
