#include "import/import_ledger.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sstream>

#include "common/error.h"
#include "engine/api/private_folders.h"
#include "import/import_file.h"

namespace vaq::import {

namespace fs = std::filesystem;

namespace {

// Begins with a dot: no table is named so, so a table's folder never meets it.
constexpr std::string_view kJobFolder = ".import";
constexpr std::string_view kLinesFile = "lines";
constexpr std::string_view kFirstLine = "vaq import lines 1";
constexpr std::string_view kStartedPrefix = "started ";

std::string hex(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::string local_minute() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

struct Entry {
    char kind = 0;  // 'B' or 'D'
    std::uint64_t lines = 0;
    std::uint64_t hash = 0;
    std::uint64_t count = 0;                       // B: records before the batch
    std::vector<ImportLedger::PendingLine> batch;  // B: the lines stored by it
};

std::optional<std::uint64_t> parse_hash(const std::string& text) {
    try {
        std::size_t used = 0;
        const std::uint64_t value = std::stoull(text, &used, 16);
        if (used != text.size()) return std::nullopt;
        return value;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<Entry> parse_entry(const std::string& text) {
    std::istringstream in(text);
    Entry entry;
    std::string hash;
    if (!(in >> entry.kind >> entry.lines >> hash)) return std::nullopt;
    if (entry.kind != 'B' && entry.kind != 'D') return std::nullopt;
    std::optional<std::uint64_t> value = parse_hash(hash);
    if (!value) return std::nullopt;
    entry.hash = *value;
    if (entry.kind == 'D') return entry;
    if (!(in >> entry.count)) return std::nullopt;
    ImportLedger::PendingLine line;
    while (in >> line.line >> hash) {
        if (!(value = parse_hash(hash))) return std::nullopt;
        line.hash = *value;
        entry.batch.push_back(line);
    }
    if (!in.eof()) return std::nullopt;
    return entry;
}

// The header lines of a ledger file and its last complete entry line: the file grows by a
// line for every line stored, so only its two ends are read.
struct LedgerEnds {
    std::vector<std::string> header;
    std::string lastLine;
};

std::optional<LedgerEnds> read_ends(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    // Larger than the longest entry, a batch of lines.
    constexpr std::size_t kEnd = 64 * 1024;
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    in.clear();
    in.seekg(0, std::ios::end);
    const auto size = static_cast<std::size_t>(in.tellg());
    const std::size_t from = size > kEnd ? size - kEnd : 0;
    std::string tail(size - from, '\0');
    in.seekg(static_cast<std::streamoff>(from));
    in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    LedgerEnds ends;
    std::size_t start = 0;
    for (std::size_t end;
         ends.header.size() < 3 && (end = head.find('\n', start)) != std::string::npos;
         start = end + 1)
        ends.header.push_back(head.substr(start, end - start));
    // A last line cut off by a crash has no line feed yet and is not an entry.
    const std::size_t lastFeed = tail.rfind('\n');
    if (lastFeed == std::string::npos) return ends;
    const std::size_t before = lastFeed == 0 ? std::string::npos : tail.rfind('\n', lastFeed - 1);
    // A tail without the start of its last line does not show a whole entry.
    if (before == std::string::npos && from > 0) return ends;
    const std::size_t lineStart = before == std::string::npos ? 0 : before + 1;
    ends.lastLine = tail.substr(lineStart, lastFeed - lineStart);
    return ends;
}

std::string done_entry(std::uint64_t lines, std::uint64_t hash) {
    return "D " + std::to_string(lines) + " " + hex(hash) + "\n";
}

void append(const fs::path& file, const std::string& entry) {
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out << entry;
    out.flush();
    if (!out) throw Error("Cannot write " + file.string() + ".");
}

}  // namespace

void LineHash::add(std::string_view line) {
    for (const char c : line) {
        value_ ^= static_cast<unsigned char>(c);
        value_ *= 0x100000001b3ULL;
    }
    value_ ^= '\n';
    value_ *= 0x100000001b3ULL;
}

ImportLedger::ImportLedger(const fs::path& directory, std::uint32_t transactionCount)
    : directory_(directory) {
    for (const fs::path& run : pdx::run_folders(pdx::subject_folder(directory, kJobFolder))) {
        const fs::path file = run / kLinesFile;
        const std::optional<LedgerEnds> ends = read_ends(file);
        if (!ends || ends->header.size() < 3 || ends->header[0] != kFirstLine) continue;
        Fingerprint fingerprint;
        if (ends->header[2].starts_with(kStartedPrefix))
            fingerprint.date = ends->header[2].substr(kStartedPrefix.size());
        std::optional<Entry> last = parse_entry(ends->lastLine);
        if (!last) continue;
        // The last batch begun: the lines before it are done, and of its own lines as many
        // as the table holds records more than it did then. Settled once, so that records
        // added later do not change the answer.
        if (last->kind == 'B') {
            if (transactionCount > last->count &&
                transactionCount - last->count <= last->batch.size()) {
                const ImportLedger::PendingLine& stored =
                    last->batch[transactionCount - last->count - 1];
                last->lines = stored.line;
                last->hash = stored.hash;
            }
            last->kind = 'D';
            append(file, done_entry(last->lines, last->hash));
        }
        if (last->lines == 0) continue;
        fingerprint.lines = last->lines;
        fingerprint.hash = last->hash;
        fingerprints_.push_back(std::move(fingerprint));
    }
    std::sort(fingerprints_.begin(), fingerprints_.end(),
              [](const Fingerprint& a, const Fingerprint& b) { return a.lines < b.lines; });
}

std::optional<EarlierImport> ImportLedger::longest_match(const fs::path& file) const {
    if (fingerprints_.empty()) return std::nullopt;
    ImportFileReader reader(file);
    LineHash hash;
    std::uint64_t read = 0;
    std::optional<EarlierImport> match;
    auto next = fingerprints_.begin();
    while (next != fingerprints_.end()) {
        const std::optional<std::string> line = reader.next_line();
        if (!line) break;
        hash.add(*line);
        ++read;
        for (; next != fingerprints_.end() && next->lines == read; ++next)
            if (next->hash == hash.value()) match = EarlierImport{next->lines, next->date};
    }
    return match;
}

ImportLedger::Recorder ImportLedger::record(const fs::path& file) const {
    return Recorder(pdx::make_run_folder(directory_, kJobFolder), file);
}

ImportLedger::Recorder::Recorder(const fs::path& folder, const fs::path& file)
    : path_(folder / kLinesFile) {
    out_.open(path_, std::ios::binary | std::ios::trunc);
    if (!out_) throw Error("Cannot create " + path_.string() + ".");
    header_ = std::string(kFirstLine) + "\nfile " + file.string() + "\n" +
              std::string(kStartedPrefix) + local_minute() + "\n";
    write(header_);
}

void ImportLedger::Recorder::storing(std::uint64_t doneLines, const LineHash& doneHash,
                                     std::uint32_t count, std::span<const PendingLine> next) {
    std::string entry = "B " + std::to_string(doneLines) + " " + hex(doneHash.value()) + " " +
                        std::to_string(count);
    for (const PendingLine& line : next)
        entry += " " + std::to_string(line.line) + " " + hex(line.hash);
    entry += '\n';
    write(entry);
}

void ImportLedger::Recorder::done(std::uint64_t line, const LineHash& hash) {
    write(done_entry(line, hash.value()));
}

void ImportLedger::Recorder::finish(std::uint64_t line, const LineHash& hash) {
    // One entry says all the others did: the file is written anew under another name and
    // renamed over the old one, so that it is whole at every moment.
    out_.close();
    const fs::path fresh = path_.string() + ".new";
    {
        std::ofstream out(fresh, std::ios::binary | std::ios::trunc);
        out << header_ << done_entry(line, hash.value());
        out.flush();
        if (!out) throw Error("Cannot write " + fresh.string() + ".");
    }
    fs::rename(fresh, path_);
}

void ImportLedger::Recorder::write(const std::string& entry) {
    // Handed to the operating system at once: a process killed after this keeps it.
    out_ << entry;
    out_.flush();
    if (!out_) throw Error("Cannot write " + path_.string() + ".");
}

}  // namespace vaq::import
