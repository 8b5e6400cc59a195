#include "db/job_folders.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <system_error>

#include "common/error.h"
#include "engine/api/config.h"

namespace vaq::db {

namespace fs = std::filesystem;

namespace {

std::uint64_t fnv1a(std::string_view text) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

bool plainNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

fs::path canonicalOrAbsolute(const fs::path& directory) {
    std::error_code error;
    fs::path canonical = fs::weakly_canonical(directory, error);
    if (error) canonical = fs::absolute(directory, error).lexically_normal();
    return canonical;
}

void createForUser(const fs::path& folder) {
    std::error_code error;
    if (fs::is_directory(folder, error)) return;
    fs::create_directories(folder, error);
    if (!error) fs::permissions(folder, fs::perms::owner_all, error);
    if (error)
        throw Error("Cannot create the folder " + folder.string() + ": " + error.message() + ".");
}

std::string runName() {
    const auto now = std::chrono::system_clock::now();
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(milliseconds / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(milliseconds % 1000));
    return text;
}

}  // namespace

std::string databaseId(const fs::path& directory) {
    const fs::path canonical = canonicalOrAbsolute(directory);
    std::string name = canonical.filename().string();
    if (name.empty()) name = "root";
    for (char& c : name)
        if (!plainNameCharacter(c)) c = '_';
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx",
                  static_cast<unsigned long long>(fnv1a(canonical.string())));
    return name + "-" + hash;
}

fs::path jobFolder(const fs::path& directory, std::string_view job) {
    const fs::path folder = pdx::privateDirectory() / databaseId(directory) / std::string(job);
    createForUser(folder);
    return folder;
}

fs::path makeRunFolder(const fs::path& directory, std::string_view job) {
    const fs::path parent = jobFolder(directory, job);
    const std::string name = runName();
    for (int attempt = 1;; ++attempt) {
        const fs::path folder =
            parent / (attempt == 1 ? name : name + "-" + std::to_string(attempt));
        std::error_code error;
        if (fs::create_directory(folder, error)) {
            fs::permissions(folder, fs::perms::owner_all, error);
            return folder;
        }
        if (error)
            throw Error("Cannot create the folder " + folder.string() + ": " + error.message() +
                        ".");
    }
}

}  // namespace vaq::db
