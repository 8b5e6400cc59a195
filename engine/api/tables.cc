#include "engine/api/tables.h"

#include <algorithm>
#include <system_error>

#include "common/text.h"
#include "engine/api/config.h"
#include "engine/api/engine_error.h"

namespace pdx {

namespace fs = std::filesystem;

bool matches_pattern(std::string_view name, std::string_view pattern) {
    // Classic wildcard matching with backtracking to the last '*'.
    std::size_t n = 0, p = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || vaq::ascii_lower(pattern[p]) == vaq::ascii_lower(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

namespace {

bool is_table_file(const fs::directory_entry& entry) {
    std::error_code error;
    if (!entry.is_regular_file(error)) return false;
    return vaq::iequals(entry.path().extension().string(), ".db");
}

EngineError directory_error(const fs::path& directory, const std::error_code& error) {
    if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory)
        return EngineError(DBIERR_DIRNOTFOUND, "Directory does not exist: " + directory.string());
    return EngineError(DBIERR_OSACCESS,
                       "Cannot read directory " + directory.string() + ": " + error.message());
}

}  // namespace

std::vector<std::string> list_tables(const fs::path& directory, std::string_view pattern,
                                     bool extensions, bool /*systemTables*/) {
    std::error_code error;
    if (!fs::is_directory(directory, error)) {
        if (!error) error = std::make_error_code(std::errc::not_a_directory);
        throw directory_error(directory, error);
    }
    fs::directory_iterator it(directory, error);
    if (error) throw directory_error(directory, error);

    std::vector<std::string> names;
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error) throw directory_error(directory, error);
        if (!is_table_file(*it)) continue;
        const std::string fileName = it->path().filename().string();
        if (!matches_pattern(fileName, pattern)) continue;
        names.push_back(extensions ? fileName : it->path().stem().string());
    }
    if (error) throw directory_error(directory, error);

    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        if (vaq::iless(a, b)) return true;
        if (vaq::iless(b, a)) return false;
        return a < b;
    });
    return names;
}

std::vector<std::string> list_alias_tables(std::string_view alias_name, std::string_view pattern,
                                           bool extensions, bool systemTables) {
    return list_tables(alias_directory(alias_name), pattern, extensions, systemTables);
}

}  // namespace pdx
