#include "engine/table/change_journal.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <string_view>
#include <system_error>

#include "common/error.h"
#include "engine/table/crash_points.h"

namespace pdx {

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[8] = {'P', 'D', 'X', 'J', 'R', 'N', 'L', '1'};
constexpr char kGroupMagic[8] = {'P', 'D', 'X', 'J', 'R', 'N', 'L', '2'};
constexpr std::size_t kChecksumOffset = 8;
constexpr std::size_t kBodyOffset = 16;
constexpr std::size_t kEndMarkSize = 8;

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

// Parses the journal record at the start of `record`; its length, or 0 when it is not a
// complete one. `magic` says which kind of record is expected.
std::size_t parse(Bytes record, const char (&magic)[8], std::vector<SavedFile>& files,
                  std::vector<SavedRange>& ranges) {
    if (record.size() < kBodyOffset + 16 || std::memcmp(record.data(), magic, 8) != 0) return 0;
    Reader r(record);
    const std::uint32_t file_count = r.u32();
    const std::uint32_t range_count = r.u32();
    const std::uint64_t length = r.u64();
    if (!r.ok() || length > record.size() || length < kBodyOffset) return 0;
    const Bytes body = record.subspan(kBodyOffset, length - kBodyOffset);
    if (fnv1a(body) != load_u64le(record.data() + kChecksumOffset)) return 0;
    record = record.first(static_cast<std::size_t>(length));
    Reader fields(record);
    fields.u32();
    fields.u32();
    fields.u64();
    for (std::uint32_t i = 0; i < file_count && fields.ok(); ++i) {
        SavedFile f;
        const Bytes name = fields.bytes(fields.u16());
        f.name.assign(name.begin(), name.end());
        f.size = fields.u64();
        files.push_back(std::move(f));
    }
    for (std::uint32_t i = 0; i < range_count && fields.ok(); ++i) {
        SavedRange range;
        range.file = fields.u16();
        range.offset = fields.u64();
        range.bytes = fields.bytes(fields.u32());
        if (range.file >= files.size()) return 0;
        ranges.push_back(range);
    }
    return fields.ok() ? static_cast<std::size_t>(length) : 0;
}

struct JournalRecord {
    std::vector<SavedFile> files;
    std::vector<SavedRange> ranges;
};

// The records of a journal in the order they were written: one change, or the changes of
// a group up to the first record that is not whole.
std::vector<JournalRecord> parse_journal(Bytes journal) {
    std::vector<JournalRecord> records;
    JournalRecord single;
    if (parse(journal, kMagic, single.files, single.ranges) != 0) {
        records.push_back(std::move(single));
        return records;
    }
    for (std::size_t at = 0; at < journal.size();) {
        JournalRecord record;
        const std::size_t length =
            parse(journal.subspan(at), kGroupMagic, record.files, record.ranges);
        if (length == 0) break;
        records.push_back(std::move(record));
        at += length;
    }
    return records;
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
    std::vector<std::uint8_t> bytes(journal.size());
    bytes.resize(journal.read_at(0, bytes));
    const std::vector<JournalRecord> records = parse_journal(bytes);
    std::map<std::string, File> opened;
    const auto file_named = [&](const std::string& name) -> File& {
        if (!journal_name_is_safe(name))
            throw vaq::Error("The change journal " + path.string() + " is damaged.");
        auto it = opened.find(name);
        if (it == opened.end())
            it = opened
                     .emplace(name,
                              File::open(table_file.parent_path() / name, File::Mode::kReadWrite))
                     .first;
        return it->second;
    };
    // Last change first: each puts back the bytes and sizes from before it.
    for (auto record = records.rbegin(); record != records.rend(); ++record) {
        for (const SavedRange& range : record->ranges)
            file_named(record->files[range.file].name).write_at(range.offset, range.bytes);
        for (const SavedFile& f : record->files)
            file_named(f.name).truncate(f.size);
    }
    for (auto& [name, file] : opened)
        file.sync();
    const std::uint8_t zeros[8] = {};
    journal.write_at(0, zeros);
    journal.sync();
    fs::remove(path, ec);
    return !records.empty();
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

void ChangeJournal::Change::write_borrowed(File& file, std::uint64_t offset, Bytes data) {
    writes_.push_back({&file, offset, {}, data.size(), data});
}

void ChangeJournal::Change::write_unkept(File& file, std::uint64_t offset, Bytes data) {
    writes_.push_back({&file, offset, std::vector<std::uint8_t>(data.begin(), data.end()), 0});
}

void ChangeJournal::Change::keep(File& file, std::uint64_t offset, std::size_t length) {
    writes_.push_back({&file, offset, {}, length});
}

// The old bytes of every range the change overwrites that the journal must be able to put
// back, as the files hold them now. Bytes beyond a file's end need none: cutting the file
// undoes them.
std::vector<ChangeJournal::Saved> ChangeJournal::read_old_bytes(
    const Change& change, const std::vector<Target>& targets) const {
    std::vector<Saved> saved;
    for (const Change::Write& w : change.writes_) {
        if (w.kept_length == 0) continue;
        std::size_t index = 0;
        while (targets[index].file != w.file)
            ++index;
        const std::uint64_t size = targets[index].size_before;
        if (w.offset >= size) continue;
        const auto length =
            static_cast<std::size_t>(std::min<std::uint64_t>(w.kept_length, size - w.offset));
        Saved s{index, w.offset, std::vector<std::uint8_t>(length)};
        const std::size_t got = w.file->read_at(w.offset, s.bytes);
        std::fill(s.bytes.begin() + static_cast<std::ptrdiff_t>(got), s.bytes.end(), 0);
        saved.push_back(std::move(s));
    }
    return saved;
}

// The parts of `old` the group has not kept yet and that lie below the file's size when the
// group first touched it.
std::vector<ChangeJournal::Saved> ChangeJournal::not_yet_kept(const std::vector<Target>& targets,
                                                              const std::vector<Saved>& old) const {
    std::vector<Saved> fresh;
    for (const Saved& s : old) {
        const File* file = targets[s.target].file;
        const auto known = group_->files.find(file);
        const std::uint64_t limit = known == group_->files.end() ? targets[s.target].size_before
                                                                 : known->second.size_at_start;
        std::uint64_t at = s.offset;
        const std::uint64_t end = std::min<std::uint64_t>(s.offset + s.bytes.size(), limit);
        const auto add = [&](std::uint64_t from, std::uint64_t to) {
            if (from >= to) return;
            const auto begin = s.bytes.begin() + static_cast<std::ptrdiff_t>(from - s.offset);
            fresh.push_back(
                {s.target, from,
                 std::vector<std::uint8_t>(begin, begin + static_cast<std::ptrdiff_t>(to - from))});
        };
        if (known != group_->files.end()) {
            const auto& ranges = known->second.ranges;
            auto it = ranges.upper_bound(at);
            if (it != ranges.begin()) --it;
            for (; it != ranges.end() && it->first < end && at < end; ++it) {
                if (it->second <= at) continue;
                add(at, std::min(it->first, end));
                at = std::max(at, it->second);
            }
        }
        add(at, end);
    }
    return fresh;
}

void ChangeJournal::note_kept(const std::vector<Target>& targets, const std::vector<Saved>& kept) {
    for (const Target& t : targets)
        group_->files.try_emplace(t.file, KeptFile{t.size_before, {}});
    for (const Saved& s : kept) {
        auto& ranges = group_->files.at(targets[s.target].file).ranges;
        std::uint64_t begin = s.offset;
        std::uint64_t end = s.offset + s.bytes.size();
        // Merge with every range it touches.
        auto it = ranges.upper_bound(begin);
        if (it != ranges.begin() && std::prev(it)->second >= begin) --it;
        while (it != ranges.end() && it->first <= end) {
            begin = std::min(begin, it->first);
            end = std::max(end, it->second);
            it = ranges.erase(it);
        }
        ranges.emplace(begin, end);
    }
}

std::vector<std::uint8_t> ChangeJournal::encode_record(const std::vector<Target>& targets,
                                                       const std::vector<Saved>& saved,
                                                       bool grouped) const {
    std::vector<std::uint8_t> out(kBodyOffset, 0);
    put_u32(out, static_cast<std::uint32_t>(targets.size()));
    put_u32(out, static_cast<std::uint32_t>(saved.size()));
    const std::size_t length_at = out.size();
    put_u64(out, 0);
    for (const Target& t : targets) {
        const std::string name = t.file->path().filename().string();
        put_u16(out, static_cast<std::uint16_t>(name.size()));
        out.insert(out.end(), name.begin(), name.end());
        put_u64(out, t.size_before);
    }
    for (const Saved& s : saved) {
        put_u16(out, static_cast<std::uint16_t>(s.target));
        put_u64(out, s.offset);
        put_u32(out, static_cast<std::uint32_t>(s.bytes.size()));
        out.insert(out.end(), s.bytes.begin(), s.bytes.end());
    }
    const std::uint64_t length = out.size();
    for (int i = 0; i < 8; ++i)
        out[length_at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(length >> (8 * i));
    const std::uint64_t checksum = fnv1a(Bytes(out).subspan(kBodyOffset));
    std::memcpy(out.data(), grouped ? kGroupMagic : kMagic, 8);
    for (int i = 0; i < 8; ++i)
        out[kChecksumOffset + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(checksum >> (8 * i));
    return out;
}

void ChangeJournal::put_back(const std::vector<Target>& targets, const std::vector<Saved>& old) {
    for (const Saved& s : old)
        targets[s.target].file->write_at(s.offset, s.bytes);
    for (const Target& t : targets)
        t.file->truncate(t.size_before);
}

// After `error` cut a change off: the files are put back as they were before it. When that
// fails too, the journal (still whole) is left for the next open and takes no more changes.
void ChangeJournal::undo_failed(const std::vector<Target>& targets, const std::vector<Saved>& old,
                                const vaq::Error& error) {
    try {
        put_back(targets, old);
    } catch (const vaq::Error& undo_error) {
        stuck_ = true;
        throw vaq::Error(std::string(error.what()) + " Undoing the change failed too (" +
                         undo_error.what() + "); " + table_file_.filename().string() +
                         " is put back when it is opened again.");
    }
    if (group_) return;  // the record stays, to be written over by the next one
    try {
        mark_empty();
    } catch (const vaq::Error&) {
        // The journal describes the change just undone: putting it back on the next open
        // changes nothing, and the next change writes over it.
    }
}

void ChangeJournal::mark_empty() {
    const std::uint8_t zeros[8] = {};
    file_.write_at(0, zeros);
    holds_change_ = false;
}

void ChangeJournal::commit(Change& change) {
    if (change.empty()) return;
    if (stuck_)
        throw vaq::Error("Cannot change " + table_file_.filename().string() +
                         ": an earlier change could not be finished or undone; it is put back "
                         "when the table is opened again.");
    std::vector<Target> targets;
    for (const Change::Write& w : change.writes_) {
        const bool known = std::any_of(targets.begin(), targets.end(),
                                       [&](const Target& t) { return t.file == w.file; });
        if (!known) targets.push_back({w.file, w.file->size()});
    }
    const std::vector<Saved> old = read_old_bytes(change, targets);
    std::vector<Saved> kept;
    std::vector<std::uint8_t> record;
    if (group_) {
        kept = not_yet_kept(targets, old);
        const bool new_file = std::any_of(targets.begin(), targets.end(), [&](const Target& t) {
            return !group_->files.contains(t.file);
        });
        // A change whose every range the group has kept needs no record of its own.
        if (new_file || !kept.empty()) {
            record = encode_record(targets, kept, true);
            record.resize(record.size() + kEndMarkSize, 0);
            file_.write_at(group_->append_at, record);
            record.resize(record.size() - kEndMarkSize);
            holds_change_ = true;
        }
    } else {
        record = encode_record(targets, old, false);
        file_.write_at(0, record);
        holds_change_ = true;
    }
    crash_point("journal written");
    try {
        write_runs(change);
        if (!group_) mark_empty();
    } catch (const vaq::Error& error) {
        undo_failed(targets, old, error);
        throw;
    }
    if (group_) {
        group_->append_at += record.size();
        note_kept(targets, kept);
    }
    change.writes_.clear();
}

// Writes that continue one another in the same file (the blocks of an append) go out in one
// call; the order of the writes is kept.
void ChangeJournal::write_runs(const Change& change) {
    const std::vector<Change::Write>& writes = change.writes_;
    std::vector<Bytes> run;
    for (std::size_t first = 0; first < writes.size();) {
        if (writes[first].bytes().empty()) {
            ++first;
            continue;
        }
        run.assign(1, writes[first].bytes());
        std::uint64_t end = writes[first].offset + writes[first].bytes().size();
        std::size_t next = first + 1;
        for (; next < writes.size() && writes[next].file == writes[first].file &&
               !writes[next].bytes().empty() && writes[next].offset == end;
             ++next) {
            run.emplace_back(writes[next].bytes());
            end += writes[next].bytes().size();
        }
        writes[first].file->write_at(writes[first].offset, run);
        crash_point("change written");
        first = next;
    }
}

void ChangeJournal::begin_group() {
    if (group_)
        throw vaq::Error("A group of changes to " + table_file_.filename().string() +
                         " is under way already.");
    group_.emplace();
}

void ChangeJournal::end_group() {
    if (!group_) return;
    if (holds_change_ && !stuck_) mark_empty();
    group_.reset();
}

void ChangeJournal::abandon_group() noexcept {
    if (!group_) return;
    if (holds_change_) stuck_ = true;
    group_.reset();
}

}  // namespace pdx
