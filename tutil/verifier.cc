#include "tutil/verifier.h"

#include <optional>

#include "engine/format/block_file.h"
#include "engine/format/format_error.h"
#include "engine/table/table_family.h"
#include "engine/table/table_lock.h"
#include "tutil/blob_check.h"
#include "tutil/block_scan.h"
#include "tutil/data_check.h"
#include "tutil/family.h"
#include "tutil/index_check.h"
#include "tutil/structure_check.h"

namespace vaq::tutil {

namespace fs = std::filesystem;

namespace {

void report(const Progress& progress, Phase phase, int percent) {
    if (progress) progress(phase, percent);
}

// Tells a file that is no Paradox table at all from a table whose header is damaged. The
// fixed part (0x00-0x57) holds the file type and version; without a table's type and a
// known version there is nothing to rebuild from.
std::optional<std::string> not_a_table(const fs::path& path) {
    pdx::File file = pdx::File::open(path);
    std::uint8_t fixed[pdx::kFixedHeaderSize] = {};
    const std::size_t got = file.read_at(0, fixed);
    if (got < pdx::kFixedHeaderSize)
        return "The file is " + std::to_string(got) +
               " bytes long, too short for a Paradox header.";
    const std::uint8_t type = fixed[0x04];
    const std::uint8_t version = fixed[0x39];
    if (type != static_cast<std::uint8_t>(pdx::FileType::kKeyedTable) &&
        type != static_cast<std::uint8_t>(pdx::FileType::kUnkeyedTable))
        return type <= 8 ? "The file is a Paradox index file (type " + std::to_string(type) +
                               "), not a table."
                         : "The file type " + std::to_string(type) + " is not a Paradox table's.";
    if (version < pdx::kVersion30 || version > pdx::kVersion70)
        return "The file version " + std::to_string(version) + " is not a Paradox version.";
    return std::nullopt;
}

}  // namespace

int verification_level(const Findings& findings, bool encrypted) {
    Weight worst = findings.worst();
    if (encrypted && worst == Weight::kError) worst = Weight::kByHand;
    return static_cast<int>(worst);
}

Verification verify_table(const fs::path& path, const Progress& progress) {
    // A swap that a crash or a failed call left half done is finished (or undone) first, so
    // that the files judged are one family; the shared lock keeps writers of our own
    // processes out while the files are read, and a table another program has open is
    // reported in use rather than judged in the middle of its changes.
    pdx::recover_family_changes(path.has_parent_path() ? path.parent_path() : fs::path("."));
    pdx::check_not_open_in_paradox(path);
    const pdx::TableLock lock = pdx::TableLock::acquire(path, pdx::TableLock::Mode::kShared);

    Verification result;
    result.table = path.filename().string();
    Findings& findings = result.findings;
    report(progress, Phase::kHeader, 0);

    if (auto reason = not_a_table(path)) {
        findings.add(Weight::kFatal, result.table, *reason);
        result.level = verification_level(findings, false);
        report(progress, Phase::kHeader, 100);
        return result;
    }
    std::optional<pdx::BlockFile> file;
    try {
        file.emplace(pdx::BlockFile::open(path));
    } catch (const pdx::FormatError& error) {
        // A table's header whose field list or sizes no longer describe its records.
        findings.add(Weight::kByHand, result.table, error.what());
        result.level = verification_level(findings, false);
        report(progress, Phase::kHeader, 100);
        return result;
    }
    const pdx::TableHeader& header = file->header();
    check_header(*file, findings);
    const TableFamily family = TableFamily::of(path);
    std::vector<CheckedIndex> indexes = prepare_secondary_indexes(family, header, findings);
    report(progress, Phase::kHeader, 100);

    report(progress, Phase::kData, 0);
    DataCheck data(*file, entry_plans(indexes), findings);
    try {
        scan_blocks(
            *file, [&](const ScannedBlock& block) { data.visit(block); },
            [&](int percent) { report(progress, Phase::kData, percent); });
    } catch (const vaq::Error& error) {
        findings.add(Weight::kIncomplete, result.table, error.what());
    }
    const Chain chain = check_structure(data, findings);
    if (data.odd_dates() > 0)
        findings.add(Weight::kNote, result.table,
                     std::to_string(data.odd_dates()) +
                         " records hold a date outside the years 100 to 9999.");
    check_blobs(family, data, chain, findings);
    report(progress, Phase::kData, 100);

    report(progress, Phase::kIndexes, 0);
    const std::size_t steps = indexes.size() + 1;
    check_primary_index(family, data, chain, findings);
    report(progress, Phase::kIndexes, static_cast<int>(100 / steps));
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        check_secondary_index(indexes[i], i, family, data, chain, findings);
        report(progress, Phase::kIndexes, static_cast<int>(100 * (i + 2) / steps));
    }
    check_validity_stamp(family, header, findings);
    report(progress, Phase::kIndexes, 100);

    result.level = verification_level(findings, header.is_encrypted());
    return result;
}

}  // namespace vaq::tutil
