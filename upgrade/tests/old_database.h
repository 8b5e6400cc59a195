#pragma once

// A small old-layout VAQ database, written by SQL through the engine: the tables of the
// access-control program as an older version left them, without any table or column the
// upgrade adds, with a few rows each. Small enough that a test can state every expected
// column, row and log line.

#include <filesystem>
#include <string_view>
#include <vector>

namespace vaq::upgrade::testing {

// The tables, each with its columns as "Name type" and its rows as values joined by '|'
// (as UpgradeFixture::fields_of and rows_of read them back).
struct OldTable {
    std::string_view name;
    std::vector<std::string_view> fields;
    std::vector<std::string_view> rows;
};
const std::vector<OldTable>& old_tables();

// Writes every table of old_tables() into `directory`, except those named in `leaveOut`.
void write_old_database(const std::filesystem::path& directory,
                        const std::vector<std::string_view>& leaveOut = {});

}  // namespace vaq::upgrade::testing
