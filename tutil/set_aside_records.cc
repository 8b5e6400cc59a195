#include "tutil/set_aside_records.h"

#include <system_error>
#include <utility>

#include "common/error.h"
#include "engine/format/coding.h"

namespace vaq::tutil {

namespace fs = std::filesystem;

namespace {

// Bytes put together before they are written to the file, and read from it at a time.
constexpr std::size_t kPieceSize = std::size_t{64} << 10;

// What a record costs in memory beyond its bytes and values (vector and map bookkeeping).
constexpr std::size_t kRecordOverhead = 64;

std::size_t memory_of(const Carried& record) {
    std::size_t bytes = record.bytes.size() + kRecordOverhead;
    for (const auto& [field, value] : record.blobs)
        bytes += value.size() + kRecordOverhead;
    return bytes;
}

// In the file a record is: its length (u32) and bytes, the number of its blob values (u32),
// and for each the field (u32), the value's length (u32) and bytes.
void put_u32(std::vector<std::uint8_t>& out, std::size_t value) {
    std::uint8_t bytes[4];
    pdx::store_u32le(bytes, static_cast<std::uint32_t>(value));
    out.insert(out.end(), bytes, bytes + 4);
}

void encode(const Carried& record, std::vector<std::uint8_t>& out) {
    put_u32(out, record.bytes.size());
    out.insert(out.end(), record.bytes.begin(), record.bytes.end());
    put_u32(out, record.blobs.size());
    for (const auto& [field, value] : record.blobs) {
        put_u32(out, field);
        put_u32(out, value.size());
        out.insert(out.end(), value.begin(), value.end());
    }
}

// Reads the file front to back in pieces.
class SpillReader {
  public:
    SpillReader(const pdx::File& file, std::uint64_t end, const fs::path& path)
        : file_(file), end_(end), path_(path) {}

    bool at_end() const { return at_ == buffer_.size() && offset_ == end_; }

    std::uint32_t u32() {
        std::uint8_t bytes[4];
        take(bytes, 4);
        return pdx::load_u32le(bytes);
    }

    void take(std::uint8_t* out, std::size_t count) {
        while (count > 0) {
            if (at_ == buffer_.size()) refill();
            const std::size_t n = std::min(count, buffer_.size() - at_);
            std::copy_n(buffer_.begin() + static_cast<std::ptrdiff_t>(at_), n, out);
            at_ += n;
            out += n;
            count -= n;
        }
    }

  private:
    void refill() {
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(kPieceSize, end_ - offset_));
        if (n == 0)
            throw vaq::Error("The file " + path_.string() + " of set-aside records ends early.");
        buffer_.resize(n);
        if (file_.read_at(offset_, buffer_) != n)
            throw vaq::Error("The file " + path_.string() + " of set-aside records ends early.");
        offset_ += n;
        at_ = 0;
    }

    const pdx::File& file_;
    std::uint64_t end_;
    const fs::path& path_;
    std::vector<std::uint8_t> buffer_;
    std::size_t at_ = 0;
    std::uint64_t offset_ = 0;
};

}  // namespace

SetAsideRecords::SetAsideRecords(fs::path spill_file, std::size_t memory_bound)
    : spill_path_(std::move(spill_file)), memory_bound_(memory_bound) {}

SetAsideRecords::~SetAsideRecords() {
    if (!spill_) return;
    spill_.reset();
    // A file that cannot be removed stays in the rebuild's own folder, where it harms
    // nothing; the rebuild's outcome is what counts here.
    std::error_code ignored;
    fs::remove(spill_path_, ignored);
}

void SetAsideRecords::push_back(Carried record) {
    ++count_;
    const std::size_t cost = memory_of(record);
    if (!spill_ && memory_used_ + cost <= memory_bound_) {
        memory_used_ += cost;
        held_.push_back(std::move(record));
        return;
    }
    spill(record);
}

void SetAsideRecords::spill(const Carried& record) {
    if (!spill_) {
        // A file of this name is what a rebuild that stopped half way left behind.
        fs::remove(spill_path_);
        spill_.emplace(pdx::File::create(spill_path_));
    }
    encode(record, pending_);
    if (pending_.size() >= kPieceSize) write_pending();
}

void SetAsideRecords::write_pending() {
    if (pending_.empty()) return;
    spill_->write_at(spill_end_, pending_);
    spill_end_ += pending_.size();
    pending_.clear();
}

void SetAsideRecords::clear() {
    held_.clear();
    memory_used_ = 0;
    count_ = 0;
    pending_.clear();
    spill_end_ = 0;
    if (spill_) {
        spill_.reset();
        fs::remove(spill_path_);
    }
}

void SetAsideRecords::for_each(const std::function<void(const Carried&)>& visit) {
    for (const Carried& record : held_)
        visit(record);
    if (!spill_) return;
    write_pending();
    SpillReader reader(*spill_, spill_end_, spill_path_);
    Carried record;
    while (!reader.at_end()) {
        record.bytes.resize(reader.u32());
        reader.take(record.bytes.data(), record.bytes.size());
        record.blobs.clear();
        for (std::uint32_t values = reader.u32(); values > 0; --values) {
            const std::uint32_t field = reader.u32();
            std::vector<std::uint8_t>& value = record.blobs[field];
            value.resize(reader.u32());
            reader.take(value.data(), value.size());
        }
        visit(record);
    }
}

}  // namespace vaq::tutil
