#pragma once

// Large unkeyed level-7 tables with the columns of the transaction table: one written
// straight as bytes (4096-byte blocks, records in insertion order), for benchmarks that need
// one before the engine can write tables itself, and one written by pxlib.

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace vaq::bench {

// The record size of those tables: 86 bytes.
constexpr std::size_t kTransactRecordSize = 86;

// Writes `records` generated transactions into `path` (a .DB file).
void write_transact_table(const std::filesystem::path& path, std::uint32_t records);

// Fills `record` (kTransactRecordSize bytes) with the `n`th generated transaction.
void fill_transact_record(std::uint8_t* record, std::uint32_t n);

// The same transactions in a table pxlib wrote: level 7, 3072-byte blocks (pxlib's choice
// for records this size), records in insertion order. A table written by other hands than
// ours, so that no figure holds for our own table shape only. It is built once for each
// record count and kept in the benchmarks' cache folder; returns its path (Transact.db in a
// folder of its own, which the caller copies and never changes).
std::filesystem::path pxlib_transact_table(std::uint32_t records);
// The same without the last column, DT: the layout of older VAQ versions, which the upgrade
// brings to the whole layout by adding DT (records of 78 bytes, 3072-byte blocks too).
std::filesystem::path pxlib_old_transact_table(std::uint32_t records);

}  // namespace vaq::bench
