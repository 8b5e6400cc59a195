#include "engine/table/change_journal.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <system_error>

#include "common/error.h"
#include "engine/table/crash_points.h"

namespace pdx {

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[8] = {'P', 'D', 'X', 'J', 'R', 'N', 'L', '1'};
constexpr std::size_t kChecksumOffset = 8;
constexpr std::size_t kBodyOffset = 16;

std::uint64_t fnv1a(Bytes bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (std::uint8_t b : bytes) {
        hash ^= b;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

void put_u64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void put_u16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

std::uint64_t load_u64le(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

// Reads the journal's fields with bounds checks; a journal that does not parse is one that
// was cut off while being written, so nothing was changed yet.
class Reader {
  public:
    explicit Reader(Bytes bytes) : bytes_(bytes) {}
    bool ok() const { return ok_; }
    std::uint64_t u64() { return take(8) ? load_u64le(at_) : 0; }
    std::uint32_t u32() { return take(4) ? load_u32le(at_) : 0; }
    std::uint16_t u16() { return take(2) ? load_u16le(at_) : 0; }
    Bytes bytes(std::size_t n) { return take(n) ? Bytes(at_, n) : Bytes(); }

  private:
    bool take(std::size_t n) {
        if (!ok_ || n > bytes_.size() - pos_) {
            ok_ = false;
            return false;
        }
        at_ = bytes_.data() + pos_;
        pos_ += n;
        return true;
    }
    Bytes bytes_;
    std::size_t pos_ = kBodyOffset;
    const std::uint8_t* at_ = nullptr;
    bool ok_ = true;
};

struct SavedRange {
    std::size_t file = 0;
    std::uint64_t offset = 0;
    Bytes bytes;
};

struct SavedFile {
    std::string name;
    std::uint64_t size = 0;
};

// Parses a journal record; false when it is not a complete one.
bool parse(Bytes record, std::vector<SavedFile>& files, std::vector<SavedRange>& ranges) {
    if (record.size() < kBodyOffset + 16 || std::memcmp(record.data(), kMagic, 8) != 0)
        return false;
    Reader r(record);
    const std::uint32_t file_count = r.u32();
    const std::uint32_t range_count = r.u32();
    const std::uint64_t length = r.u64();
    if (!r.ok() || length > record.size() || length < kBodyOffset) return false;
    const Bytes body = record.subspan(kBodyOffset, length - kBodyOffset);
    if (fnv1a(body) != load_u64le(record.data() + kChecksumOffset)) return false;
    for (std::uint32_t i = 0; i < file_count && r.ok(); ++i) {
        SavedFile f;
        const Bytes name = r.bytes(r.u16());
        f.name.assign(name.begin(), name.end());
        f.size = r.u64();
        files.push_back(std::move(f));
    }
    for (std::uint32_t i = 0; i < range_count && r.ok(); ++i) {
        SavedRange range;
        range.file = r.u16();
        range.offset = r.u64();
        range.bytes = r.bytes(r.u32());
        if (range.file >= files.size()) return false;
        ranges.push_back(range);
    }
    return r.ok();
}

bool journal_name_is_safe(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

}  // namespace

fs::path ChangeJournal::path_for(const fs::path& table_file) {
    return table_file.parent_path() / ("." + table_file.filename().string() + ".journal");
}

bool ChangeJournal::recover(const fs::path& table_file) {
    const fs::path path = path_for(table_file);
    std::error_code ec;
    if (!fs::exists(path, ec)) return false;
    File journal = File::open(path, File::Mode::kReadWrite);
    std::vector<std::uint8_t> record(journal.size());
    record.resize(journal.read_at(0, record));
    std::vector<SavedFile> files;
    std::vector<SavedRange> ranges;
    bool restored = false;
    if (parse(record, files, ranges)) {
        std::vector<File> opened;
        for (const SavedFile& f : files) {
            if (!journal_name_is_safe(f.name))
                throw vaq::Error("The change journal " + path.string() + " is damaged.");
            opened.push_back(File::open(table_file.parent_path() / f.name, File::Mode::kReadWrite));
        }
        for (const SavedRange& range : ranges)
            opened[range.file].write_at(range.offset, range.bytes);
        for (std::size_t i = 0; i < opened.size(); ++i) {
            opened[i].truncate(files[i].size);
            opened[i].sync();
        }
        restored = true;
    }
    const std::uint8_t zeros[8] = {};
    journal.write_at(0, zeros);
    journal.sync();
    fs::remove(path, ec);
    return restored;
}

ChangeJournal::ChangeJournal(const fs::path& table_file)
    : table_file_(table_file),
      file_(fs::exists(path_for(table_file))
                ? File::open(path_for(table_file), File::Mode::kReadWrite)
                : File::create(path_for(table_file))) {}

ChangeJournal::~ChangeJournal() {
    if (holds_change_) return;  // left for recover() on the next open
    std::error_code ec;
    fs::remove(file_.path(), ec);
}

void ChangeJournal::Change::write(File& file, std::uint64_t offset, Bytes data) {
    writes_.push_back(
        {&file, offset, std::vector<std::uint8_t>(data.begin(), data.end()), data.size()});
}

void ChangeJournal::Change::write(File& file, std::uint64_t offset,
                                  std::vector<std::uint8_t>&& data) {
    const std::size_t length = data.size();
    writes_.push_back({&file, offset, std::move(data), length});
}

void ChangeJournal::Change::write_unkept(File& file, std::uint64_t offset, Bytes data) {
    writes_.push_back({&file, offset, std::vector<std::uint8_t>(data.begin(), data.end()), 0});
}

void ChangeJournal::Change::keep(File& file, std::uint64_t offset, std::size_t length) {
    writes_.push_back({&file, offset, {}, length});
}

std::vector<std::uint8_t> ChangeJournal::build_record(const Change& change,
                                                      const std::vector<Target>& targets) const {
    std::vector<std::uint8_t> out(kBodyOffset, 0);
    std::uint32_t ranges = 0;
    put_u32(out, static_cast<std::uint32_t>(targets.size()));
    const std::size_t range_count_at = out.size();
    put_u32(out, 0);
    const std::size_t length_at = out.size();
    put_u64(out, 0);
    for (const Target& t : targets) {
        const std::string name = t.file->path().filename().string();
        put_u16(out, static_cast<std::uint16_t>(name.size()));
        out.insert(out.end(), name.begin(), name.end());
        put_u64(out, t.size_before);
    }
    for (const Change::Write& w : change.writes_) {
        std::size_t index = 0;
        while (targets[index].file != w.file)
            ++index;
        const std::uint64_t size = targets[index].size_before;
        if (w.kept_length == 0) continue;
        if (w.offset >= size) continue;  // beyond the old end: cutting the file undoes it
        const auto length =
            static_cast<std::size_t>(std::min<std::uint64_t>(w.kept_length, size - w.offset));
        put_u16(out, static_cast<std::uint16_t>(index));
        put_u64(out, w.offset);
        put_u32(out, static_cast<std::uint32_t>(length));
        const std::size_t at = out.size();
        out.resize(at + length);
        const std::size_t got = w.file->read_at(w.offset, std::span(out).subspan(at, length));
        if (got != length)
            std::fill(out.begin() + static_cast<std::ptrdiff_t>(at + got), out.end(), 0);
        ++ranges;
    }
    store_u32le(out.data() + range_count_at, ranges);
    const std::uint64_t length = out.size();
    for (int i = 0; i < 8; ++i)
        out[length_at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(length >> (8 * i));
    const std::uint64_t checksum = fnv1a(Bytes(out).subspan(kBodyOffset));
    std::memcpy(out.data(), kMagic, 8);
    for (int i = 0; i < 8; ++i)
        out[kChecksumOffset + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(checksum >> (8 * i));
    return out;
}

void ChangeJournal::mark_empty() {
    const std::uint8_t zeros[8] = {};
    file_.write_at(0, zeros);
    holds_change_ = false;
}

void ChangeJournal::commit(Change& change) {
    if (change.empty()) return;
    std::vector<Target> targets;
    for (const Change::Write& w : change.writes_) {
        const bool known = std::any_of(targets.begin(), targets.end(),
                                       [&](const Target& t) { return t.file == w.file; });
        if (!known) targets.push_back({w.file, w.file->size()});
    }
    const std::vector<std::uint8_t> record = build_record(change, targets);
    file_.write_at(0, record);
    holds_change_ = true;
    crash_point("journal written");
    try {
        for (const Change::Write& w : change.writes_) {
            if (w.data.empty()) continue;
            w.file->write_at(w.offset, w.data);
            crash_point("change written");
        }
    } catch (const vaq::Error&) {
        // Put the old bytes back now; if even that fails the journal stays for the next open.
        std::vector<SavedFile> files;
        std::vector<SavedRange> ranges;
        parse(record, files, ranges);
        for (const SavedRange& range : ranges)
            targets[range.file].file->write_at(range.offset, range.bytes);
        for (const Target& t : targets)
            t.file->truncate(t.size_before);
        mark_empty();
        throw;
    }
    mark_empty();
    change.writes_.clear();
}

}  // namespace pdx
