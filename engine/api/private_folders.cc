#include "engine/api/private_folders.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <optional>

#include "engine/api/config.h"
#include "engine/api/dbi.h"
#include "engine/api/engine_error.h"

namespace pdx {

namespace fs = std::filesystem;

namespace {

// The longest part of the directory's own name kept in an id.
constexpr std::size_t kNameInId = 40;
// A run folder name: "20261207T152116.042Z" (20 characters), then "-N" for a later run of
// the same millisecond.
constexpr std::size_t kStampLength = 20;
constexpr int kMaxSameStamp = 9999;

// FNV-1a, 64 bits: stable across runs and builds, which std::hash does not promise.
std::uint64_t stable_hash(std::string_view text) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

bool safe_character(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

fs::path canonical_directory(const fs::path& directory) {
    std::error_code error;
    fs::path canonical = fs::weakly_canonical(fs::absolute(directory, error), error);
    if (error) canonical = fs::absolute(directory).lexically_normal();
    // "/srv/vaq/" and "/srv/vaq" are one directory.
    if (!canonical.has_filename() && canonical.has_parent_path() &&
        canonical != canonical.root_path())
        canonical = canonical.parent_path();
    return canonical;
}

// Creates `folder` for the user only when it is missing.
void make_folder(const fs::path& folder) {
    std::error_code error;
    if (fs::is_directory(folder, error)) return;
    fs::create_directory(folder, error);
    if (!error) fs::permissions(folder, fs::perms::owner_all, error);
    if (error && !fs::is_directory(folder))
        throw EngineError(DBIERR_OSACCESS,
                          "Cannot create the folder " + folder.string() + ": " + error.message());
}

std::string utc_stamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(millis));
    return text;
}

// The stamp and the number of a run folder's name ("…Z" is 1, "…Z-2" is 2); nothing for a
// name make_run_folder does not give.
std::optional<std::pair<std::string, int>> run_name(const std::string& name) {
    if (name.size() < kStampLength || name[8] != 'T' || name[kStampLength - 1] != 'Z')
        return std::nullopt;
    const std::string stamp = name.substr(0, kStampLength);
    if (name.size() == kStampLength) return std::pair{stamp, 1};
    if (name[kStampLength] != '-') return std::nullopt;
    int number = 0;
    for (std::size_t i = kStampLength + 1; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || number > kMaxSameStamp) return std::nullopt;
        number = number * 10 + (name[i] - '0');
    }
    if (number < 2) return std::nullopt;
    return std::pair{stamp, number};
}

}  // namespace

std::string database_id(const fs::path& directory) {
    const fs::path canonical = canonical_directory(directory);
    std::string name = canonical.filename().string();
    if (name.size() > kNameInId) name.resize(kNameInId);
    for (char& c : name)
        if (!safe_character(c)) c = '_';
    if (name.empty() || name == "." || name == "..") name = "root";
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx",
                  static_cast<unsigned long long>(stable_hash(canonical.string())));
    return name + "-" + hash;
}

fs::path database_folder(const fs::path& directory) {
    const fs::path folder = private_directory() / database_id(directory);
    make_folder(folder);
    const fs::path note = folder / "DATABASE";
    std::error_code error;
    if (!fs::exists(note, error)) {
        // Only for the reader of the folder: nothing depends on it.
        std::ofstream(note, std::ios::binary) << canonical_directory(directory).string() << '\n';
    }
    return folder;
}

fs::path subject_folder(const fs::path& directory, std::string_view subject) {
    if (subject.empty() || subject == "." || subject == ".." ||
        subject.find_first_of("/\\") != std::string_view::npos ||
        subject.find('\0') != std::string_view::npos)
        throw EngineError(
            DBIERR_INVALIDPARAM,
            "Not a name for a folder of the private directory: '" + std::string(subject) + "'");
    const fs::path folder = database_folder(directory) / fs::path(std::string(subject));
    make_folder(folder);
    return folder;
}

fs::path make_run_folder(const fs::path& directory, std::string_view subject) {
    const fs::path parent = subject_folder(directory, subject);
    const std::string stamp = utc_stamp();
    for (int number = 1; number <= kMaxSameStamp; ++number) {
        const fs::path folder =
            parent / (number == 1 ? stamp : stamp + "-" + std::to_string(number));
        std::error_code error;
        // Creating is the test: a folder that exists belongs to another run.
        if (fs::create_directory(folder, error)) {
            fs::permissions(folder, fs::perms::owner_all, error);
            return folder;
        }
        if (error)
            throw EngineError(DBIERR_OSACCESS, "Cannot create the folder " + folder.string() +
                                                   ": " + error.message());
    }
    throw EngineError(DBIERR_OSACCESS, "Cannot create a new run folder in " + parent.string());
}

std::vector<fs::path> run_folders(const fs::path& subject_folder) {
    std::vector<std::pair<std::pair<std::string, int>, fs::path>> runs;
    std::error_code error;
    for (fs::directory_iterator it(subject_folder, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code kind;
        if (!it->is_directory(kind)) continue;
        if (auto name = run_name(it->path().filename().string()))
            runs.emplace_back(std::move(*name), it->path());
    }
    std::sort(runs.begin(), runs.end());
    std::vector<fs::path> folders;
    for (auto& run : runs)
        folders.push_back(std::move(run.second));
    return folders;
}

}  // namespace pdx
