#include "engine/table/table_name.h"

#include <string>
#include <system_error>
#include <vector>

#include "common/error.h"
#include "common/text.h"

namespace pdx {

namespace fs = std::filesystem;

namespace {

bool ends_with_db(std::string_view name) {
    return name.size() > 3 && same_file_name(name.substr(name.size() - 3), ".db");
}

// The directory entry called `file_name` in any letter case.
std::optional<fs::path> find_in_directory(const fs::path& directory, std::string_view file_name) {
    std::error_code ec;
    fs::directory_iterator it(directory, ec);
    if (ec)
        throw vaq::Error("Cannot read the database directory " + directory.string() + ": " +
                         ec.message() + ".");
    std::vector<fs::path> matches;
    for (const fs::directory_entry& entry : it) {
        const std::string candidate = entry.path().filename().string();
        if (candidate == file_name) return entry.path();
        if (same_file_name(candidate, file_name)) matches.push_back(entry.path());
    }
    if (matches.empty()) return std::nullopt;
    if (matches.size() > 1)
        throw vaq::Error("The table name " + std::string(file_name) +
                         " matches several files: " + matches[0].filename().string() + " and " +
                         matches[1].filename().string() + ".");
    return matches.front();
}

}  // namespace

bool same_file_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (vaq::ascii_upper(a[i]) != vaq::ascii_upper(b[i])) return false;
    return true;
}

void check_table_name(std::string_view name) {
    if (name.empty()) throw vaq::Error("A table name is empty.");
    if (name.find('/') != std::string_view::npos || name.find('\\') != std::string_view::npos ||
        name.find("..") != std::string_view::npos || name.find('\0') != std::string_view::npos)
        throw vaq::Error("Invalid table name: " + std::string(name) +
                         " (a table name may not hold a path).");
}

std::optional<fs::path> find_table_file(const fs::path& directory, std::string_view name) {
    check_table_name(name);
    const std::string file_name =
        ends_with_db(name) ? std::string(name) : std::string(name) + ".db";
    auto found = find_in_directory(directory, file_name);
    if (found && !fs::is_regular_file(*found)) return std::nullopt;
    return found;
}

std::optional<fs::path> find_family_file(const fs::path& table_file, std::string_view extension) {
    const std::string file_name = table_file.stem().string() + std::string(extension);
    return find_in_directory(table_file.parent_path(), file_name);
}

}  // namespace pdx
