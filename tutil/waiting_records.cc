#include "tutil/waiting_records.h"

#include <algorithm>
#include <numeric>
#include <system_error>
#include <utility>

#include "common/error.h"

namespace vaq::tutil {

namespace fs = std::filesystem;

namespace {

// Bytes of sorted records put together before they are written to the spill file.
constexpr std::size_t kSpillWriteSize = std::size_t{64} << 10;

}  // namespace

WaitingRecords::WaitingRecords(std::size_t record_size, Before before, fs::path spill_file,
                               std::size_t memory_bound)
    : size_(record_size),
      before_(std::move(before)),
      spill_path_(std::move(spill_file)),
      load_records_(std::max<std::size_t>(1, memory_bound / record_size)) {}

WaitingRecords::~WaitingRecords() {
    if (!spill_) return;
    spill_.reset();
    // A spill file that cannot be removed stays in the rebuild's own folder, where it harms
    // nothing; the rebuild's outcome is what counts here.
    std::error_code ignored;
    fs::remove(spill_path_, ignored);
}

void WaitingRecords::add(pdx::Bytes record) {
    if (load_.capacity() == 0) load_.reserve(load_records_ * size_);
    load_.insert(load_.end(), record.begin(), record.begin() + static_cast<std::ptrdiff_t>(size_));
    ++added_;
    if (load_.size() >= load_records_ * size_) spill_load();
}

std::vector<std::uint32_t> WaitingRecords::sorted_load() const {
    std::vector<std::uint32_t> order(load_.size() / size_);
    std::iota(order.begin(), order.end(), std::uint32_t{0});
    const auto record = [&](std::uint32_t i) {
        return pdx::Bytes(load_).subspan(std::size_t{i} * size_, size_);
    };
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return before_(record(a), record(b));
    });
    return order;
}

void WaitingRecords::spill_load() {
    if (load_.empty()) return;
    if (!spill_) {
        // A file of this name is what a rebuild that stopped half way left behind.
        fs::remove(spill_path_);
        spill_.emplace(pdx::File::create(spill_path_));
    }
    const std::vector<std::uint32_t> order = sorted_load();
    Run run;
    run.offset = spill_end_;
    run.left = order.size();
    std::vector<std::uint8_t> piece;
    piece.reserve(std::max(kSpillWriteSize, size_));
    for (const std::uint32_t i : order) {
        const auto from = load_.begin() + static_cast<std::ptrdiff_t>(std::size_t{i} * size_);
        piece.insert(piece.end(), from, from + static_cast<std::ptrdiff_t>(size_));
        if (piece.size() + size_ > piece.capacity()) {
            spill_->write_at(spill_end_, piece);
            spill_end_ += piece.size();
            piece.clear();
        }
    }
    if (!piece.empty()) {
        spill_->write_at(spill_end_, piece);
        spill_end_ += piece.size();
    }
    runs_.push_back(std::move(run));
    load_.clear();
}

void WaitingRecords::fill(Run& run, std::size_t records) {
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(records, run.left));
    run.buffer.resize(count * size_);
    run.at = 0;
    if (count == 0) return;
    if (spill_->read_at(run.offset, run.buffer) != run.buffer.size())
        throw vaq::Error("The file " + spill_path_.string() +
                         " that held records out of key order lost some of them.");
    run.offset += run.buffer.size();
    run.left -= count;
}

bool WaitingRecords::later(std::size_t a, std::size_t b) const {
    const pdx::Bytes head_a = runs_[a].head(size_);
    const pdx::Bytes head_b = runs_[b].head(size_);
    if (before_(head_b, head_a)) return true;
    if (before_(head_a, head_b)) return false;
    return a > b;  // of one key, the record that came first
}

void WaitingRecords::start_reading() {
    if (runs_.empty()) {
        load_order_ = sorted_load();
        return;
    }
    // Every record goes to the file, so that merging holds no more than the bound: each
    // run is read through its share of it.
    spill_load();
    std::vector<std::uint8_t>().swap(load_);
    refill_records_ = std::max<std::size_t>(1, load_records_ / runs_.size());
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        fill(runs_[i], refill_records_);
        if (!runs_[i].exhausted()) heap_.push_back(i);
    }
    std::make_heap(heap_.begin(), heap_.end(),
                   [this](std::size_t a, std::size_t b) { return later(a, b); });
}

std::optional<pdx::Bytes> WaitingRecords::next() const {
    if (runs_.empty()) {
        if (load_next_ == load_order_.size()) return std::nullopt;
        return pdx::Bytes(load_).subspan(std::size_t{load_order_[load_next_]} * size_, size_);
    }
    if (heap_.empty()) return std::nullopt;
    return runs_[heap_.front()].head(size_);
}

void WaitingRecords::pop() {
    if (runs_.empty()) {
        ++load_next_;
        return;
    }
    const auto later_run = [this](std::size_t a, std::size_t b) { return later(a, b); };
    std::pop_heap(heap_.begin(), heap_.end(), later_run);
    Run& run = runs_[heap_.back()];
    run.at += size_;
    if (run.at == run.buffer.size()) fill(run, refill_records_);
    if (run.exhausted()) {
        heap_.pop_back();
        std::vector<std::uint8_t>().swap(run.buffer);
    } else {
        std::push_heap(heap_.begin(), heap_.end(), later_run);
    }
}

}  // namespace vaq::tutil
