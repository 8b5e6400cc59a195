#pragma once

// Verification of one table: reads its header, makes one sequential pass over its data
// file, follows its chain and free list, checks its record count and auto-increment
// counter, its primary and secondary indexes against the data, its blob references and the
// stamps of its family. The level is the heaviest finding (findings.h), raised to "rebuild
// by hand" when the table is damaged and encrypted: the rebuild never writes encrypted
// tables.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "tutil/findings.h"

namespace vaq::tutil {

// Phases of the progress reports, as the engine's progress record numbers them.
enum class Phase : std::uint8_t { kHeader = 0, kIndexes = 1, kData = 2, kRebuild = 8 };
using Progress = std::function<void(Phase, int percent)>;

struct Verification {
    std::string table;  // the .DB file's name
    Findings findings;
    int level = 0;
};

// Finishes or undoes a family change of the directory that was left half done, then judges
// the table under its shared lock. Throws vaq::Error when the table file does not exist or
// cannot be opened, and "Table is in use by another program: NAME." when a writer holds it;
// every fault of its content is a finding.
Verification verify_table(const std::filesystem::path& table, const Progress& progress = {});

// The level a set of findings gives for a table (encrypted or not).
int verification_level(const Findings& findings, bool encrypted);

}  // namespace vaq::tutil
