#pragma once

// Writes a large unkeyed level-7 table with the columns of the transaction table, straight
// as bytes (4096-byte blocks, records in insertion order), for benchmarks that need one
// before the engine can write tables itself.

#include <cstdint>
#include <filesystem>

namespace vaq::bench {

// Writes `records` generated transactions into `path` (a .DB file).
void write_transact_table(const std::filesystem::path& path, std::uint32_t records);

}  // namespace vaq::bench
