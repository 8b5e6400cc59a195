#pragma once

// A keyed table family written through the engine, for the damage tests: the kinds of file
// the real tables of the corpus bring (a primary index of one or two levels, a maintained
// single-field index, a composite case-insensitive index, memo values in the record and in
// the .MB, a validity file), so that those tests run without the corpus. Each family is
// written once per test program and copied for every test.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "engine/format/coding.h"
#include "engine/format/tests/scratch_files.h"
#include "engine/table/edit_buffer.h"
#include "engine/table/secondary_index.h"
#include "engine/table/table.h"
#include "engine/table/table_admin.h"
#include "engine/table/table_family.h"
#include "engine/table/table_writer.h"

namespace pdx::testing {

// The fields of a generated family: Id +, Name A20, Year I, Team A10, Day D, City A15,
// Note M110 (a 100-byte leader). Numbers and offsets as the tests patch them.
struct FamilyLayout {
    static constexpr std::size_t kIdField = 0;
    static constexpr std::size_t kYearField = 2;
    static constexpr std::size_t kCityField = 5;  // field 6: the index file is .X06
    static constexpr std::size_t kNoteField = 6;
    static constexpr std::size_t kIdAt = 0;
    static constexpr std::size_t kYearAt = 24;
    static constexpr std::size_t kCityAt = 42;
    static constexpr std::size_t kCityWidth = 15;
    static constexpr std::size_t kNoteAt = 57;
    static constexpr std::size_t kNoteLeader = 100;
    static constexpr std::size_t kNotePointerAt = kNoteAt + kNoteLeader;  // 10 bytes
    static constexpr std::size_t kRecordSize = 167;
};

// The city of record `n` (from 1): records 1 and 2 share "Aptos", every other one has its
// own town, so that the City index starts with two entries of one value.
inline std::string family_city(std::uint32_t n) {
    return n <= 2 ? std::string("Aptos") : "Town " + std::to_string(1000 + n);
}

// Whether record `n` keeps its note in the .MB: every fifth record's note is longer than
// the leader.
inline bool family_note_is_external(std::uint32_t n) {
    return n % 5 == 0;
}

// Writes the family `name` into `dir`: `records` records in blocks of `block_size` bytes,
// Id 1 to `records` in order. Indexes: City (.X06, maintained) and ByTeam (Team, Year;
// case-insensitive, .XG0). With `validity`, a .VAL carrying the table's family stamp.
inline fs::path write_family(const fs::path& dir, const std::string& name, std::uint32_t records,
                             int block_size, bool validity) {
    TableSpec spec;
    spec.fields = {{"Id", FieldType::kAutoInc, 0}, {"Name", FieldType::kAlpha, 20},
                   {"Year", FieldType::kLong, 0},  {"Team", FieldType::kAlpha, 10},
                   {"Day", FieldType::kDate, 0},   {"City", FieldType::kAlpha, 15},
                   {"Note", FieldType::kMemo, 110}};
    spec.key_fields = 1;
    const fs::path db = create_table(dir, name, spec, CreateOptions{7, block_size});
    {
        auto t = Table::open_file(db, Access::kWrite);
        for (std::uint32_t n = 1; n <= records; ++n) {
            EditBuffer r = EditBuffer::blank(t);
            r.set(1, "Name " + std::to_string(n));
            r.set(2, std::int64_t{1990 + n % 31});
            r.set(3, std::string(n % 3 == 0 ? "north" : n % 3 == 1 ? "South" : "west"));
            const std::uint32_t day = n % 28 + 1;
            r.set(4, std::string("2024-03-") + (day < 10 ? "0" : "") + std::to_string(day));
            r.set(5, family_city(n));
            r.set(FamilyLayout::kNoteField,
                  family_note_is_external(n)
                      ? "Note " + std::to_string(n) + " " + std::string(150 + n % 200, 'n')
                      : "Short note " + std::to_string(n));
            t->writer().insert(r);
        }
        t->writer().flush();
    }
    create_secondary_index(dir, name, SecondaryIndexRequest{"City", {"City"}, false, false});
    create_secondary_index(dir, name,
                           SecondaryIndexRequest{"ByTeam", {"Team", "Year"}, true, false});
    if (validity) {
        // The validity file starts with the family stamp of the table it was written for;
        // nothing else of it is read here.
        std::vector<std::uint8_t> header = read_file(db);
        std::vector<std::uint8_t> val(64, 0);
        val[0] = header.at(0x2E);
        write_file(fs::path(db).replace_extension(".VAL"), val);
    }
    return db;
}

// Copies the family of `db` into `into`; returns the copy of the .DB.
inline fs::path copy_family(const fs::path& db, const fs::path& into) {
    for (const fs::path& f : family_files(db))
        fs::copy_file(f, into / f.filename(), fs::copy_options::overwrite_existing);
    return into / db.filename();
}

// A family written once per test program and kept until it ends, copied into `into`.
inline fs::path copy_of_family(const std::string& name, std::uint32_t records, int block_size,
                               bool validity, const fs::path& into) {
    static std::map<std::tuple<std::string, std::uint32_t, int, bool>, fs::path> written;
    static std::vector<std::unique_ptr<TempDir>> folders;
    const auto key = std::make_tuple(name, records, block_size, validity);
    auto found = written.find(key);
    if (found == written.end()) {
        folders.push_back(std::make_unique<TempDir>());
        found = written
                    .emplace(key, write_family(folders.back()->path(), name, records, block_size,
                                               validity))
                    .first;
    }
    return copy_family(found->second, into);
}

}  // namespace pdx::testing
