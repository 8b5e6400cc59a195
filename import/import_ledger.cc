#include "import/import_ledger.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <system_error>

#include "common/error.h"
#include "db/job_folders.h"
#include "import/import_file.h"

namespace vaq::import {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kJobFolder = "import";
constexpr std::string_view kLinesFile = "lines";
constexpr std::string_view kFirstLine = "vaq import lines 1";
constexpr std::string_view kStartedPrefix = "started ";

std::string hex(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::string localMinute() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

struct Entry {
    char kind = 0;  // 'P' or 'D'
    std::uint64_t lines = 0;
    std::uint64_t hash = 0;
    std::uint64_t count = 0;
};

std::optional<Entry> parseEntry(const std::string& text) {
    std::istringstream in(text);
    Entry entry;
    std::string hash;
    if (!(in >> entry.kind >> entry.lines >> hash)) return std::nullopt;
    if (entry.kind != 'P' && entry.kind != 'D') return std::nullopt;
    if (entry.kind == 'P' && !(in >> entry.count)) return std::nullopt;
    try {
        std::size_t used = 0;
        entry.hash = std::stoull(hash, &used, 16);
        if (used != hash.size()) return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return entry;
}

// The lines of a file that ends with a line feed; a last line cut off by a crash is not one.
std::vector<std::string> completeLines(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::string doneEntry(std::uint64_t lines, std::uint64_t hash) {
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
    const fs::path folder = db::jobFolder(directory, kJobFolder);
    std::error_code error;
    for (const fs::directory_entry& run : fs::directory_iterator(folder, error)) {
        const fs::path file = run.path() / kLinesFile;
        const std::vector<std::string> lines = completeLines(file);
        if (lines.size() < 2 || lines[0] != kFirstLine) continue;
        Fingerprint fingerprint;
        std::optional<Entry> lastDone;
        std::optional<Entry> pending;
        for (const std::string& line : lines) {
            if (line.starts_with(kStartedPrefix)) {
                fingerprint.date = line.substr(kStartedPrefix.size());
                continue;
            }
            const std::optional<Entry> entry = parseEntry(line);
            if (!entry) continue;
            if (entry->kind == 'D') {
                lastDone = entry;
                pending.reset();
            } else {
                pending = entry;
            }
        }
        // A store that was under way when the import stopped: its record is in the table
        // when the table holds as many records as the store meant it to.
        if (pending) {
            if (pending->count == transactionCount) lastDone = Entry{'D', pending->lines, pending->hash, 0};
            const Entry settled = lastDone.value_or(Entry{'D', 0, LineHash().value(), 0});
            append(file, doneEntry(settled.lines, settled.hash));
        }
        if (!lastDone || lastDone->lines == 0) continue;
        fingerprint.lines = lastDone->lines;
        fingerprint.hash = lastDone->hash;
        fingerprints_.push_back(std::move(fingerprint));
    }
    std::sort(fingerprints_.begin(), fingerprints_.end(),
              [](const Fingerprint& a, const Fingerprint& b) { return a.lines < b.lines; });
}

std::optional<EarlierImport> ImportLedger::longestMatch(const fs::path& file) const {
    if (fingerprints_.empty()) return std::nullopt;
    ImportFileReader reader(file);
    LineHash hash;
    std::uint64_t read = 0;
    std::optional<EarlierImport> match;
    auto next = fingerprints_.begin();
    while (next != fingerprints_.end()) {
        const std::optional<std::string> line = reader.nextLine();
        if (!line) break;
        hash.add(*line);
        ++read;
        for (; next != fingerprints_.end() && next->lines == read; ++next)
            if (next->hash == hash.value()) match = EarlierImport{next->lines, next->date};
    }
    return match;
}

ImportLedger::Recorder ImportLedger::record(const fs::path& file) const {
    return Recorder(db::makeRunFolder(directory_, kJobFolder), file);
}

ImportLedger::Recorder::Recorder(const fs::path& folder, const fs::path& file)
    : path_(folder / kLinesFile) {
    out_.open(path_, std::ios::binary | std::ios::trunc);
    if (!out_) throw Error("Cannot create " + path_.string() + ".");
    write(std::string(kFirstLine) + "\nfile " + file.string() + "\n" +
          std::string(kStartedPrefix) + localMinute() + "\n");
}

void ImportLedger::Recorder::storing(std::uint64_t line, const LineHash& hash,
                                     std::uint32_t count) {
    write("P " + std::to_string(line) + " " + hex(hash.value()) + " " + std::to_string(count) +
          "\n");
}

void ImportLedger::Recorder::done(std::uint64_t line, const LineHash& hash) {
    write(doneEntry(line, hash.value()));
}

void ImportLedger::Recorder::write(const std::string& entry) {
    // Handed to the operating system at once: a process killed after this keeps it.
    out_ << entry;
    out_.flush();
    if (!out_) throw Error("Cannot write " + path_.string() + ".");
}

}  // namespace vaq::import
