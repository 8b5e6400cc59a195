#pragma once

// The tables this process holds open. A table opened twice is one Table object, so that
// every cursor and every writer in the process sees the same header and the same changes,
// and so that the process holds one lock per table.

#include <filesystem>
#include <memory>

namespace pdx {

class Table;

// The open Table of the file at `path`, or null.
std::shared_ptr<Table> find_open_table(const std::filesystem::path& path);
// Registers a table just opened; it leaves the list when it is destroyed.
void register_open_table(const std::shared_ptr<Table>& table);
void unregister_open_table(const Table& table);
// True when the file at `path` is open in this process.
bool is_table_open(const std::filesystem::path& path);

}  // namespace pdx
