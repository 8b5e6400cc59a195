// Copies of real tables of every level take appended, changed and deleted records, and read
// afterwards as pxlib reads them: the same records, in key order where the table is keyed,
// with a primary index that describes the data.

#include <gtest/gtest.h>

#include <set>

#include "common/error.h"
#include "engine/format/field_codec.h"
#include "engine/table/index_cursor.h"
#include "engine/table/record_editor.h"
#include "engine/table/tests/pxlib_reader.h"
#include "engine/table/tests/write_test_support.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using RecordBytes = std::vector<std::uint8_t>;

// Letters and digits only, so that every sort order compares them with certainty.
std::string code_for(int n, std::size_t width) {
    static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[n % 32]);
        n /= 32;
    } while (n > 0);
    if (text.size() < width) text.insert(text.begin(), 'Z');
    return text.substr(0, width);
}

// A value of every type that no record of the corpus holds, different for every n.
FieldInput value_for(const Field& f, int n) {
    switch (f.type()) {
        case FieldType::kAlpha:
            return code_for(n + 700, f.width());
        case FieldType::kShort:
            return std::int64_t{20000 + n};
        case FieldType::kLong:
            return std::int64_t{1'900'000'000 + n};
        case FieldType::kAutoInc:
            return FieldInput{};  // numbered by the table
        case FieldType::kNumber:
        case FieldType::kMoney:
            return 987654.25 + n;
        case FieldType::kBcd:
            return "0." + std::to_string(10 + n);  // fits even 32 decimals
        case FieldType::kLogical:
            return n % 2 == 0;
        case FieldType::kDate:
            return "2191-01-" + std::string(n % 28 + 1 < 10 ? "0" : "") +
                   std::to_string(n % 28 + 1);
        case FieldType::kTime:
            return "13:" + std::to_string(10 + n % 50) + ":00.125";
        case FieldType::kTimestamp:
            return "2191-03-04 05:06:" + std::to_string(10 + n % 50);
        case FieldType::kBytes:
            return "0x0" + std::to_string(n % 10);
        case FieldType::kMemo:
            return std::string(static_cast<std::size_t>(40 + n * 30),
                               static_cast<char>('a' + n % 26));
        default:
            return FieldInput{};
    }
}

std::multiset<RecordBytes> records_of(const Table& table) {
    std::multiset<RecordBytes> records;
    for (auto cursor = table.open_cursor(); !cursor->eof(); cursor->next())
        records.insert(RecordBytes(cursor->record().begin(), cursor->record().end()));
    return records;
}

RecordBytes current(const Cursor& cursor) {
    return {cursor.record().begin(), cursor.record().end()};
}

// Appends, changes and deletes records of a copy of `relative`, then compares the copy with
// what those changes must have made of it.
void change_and_check(const std::string& relative) {
    SCOPED_TRACE(relative);
    TempDir dir;
    const fs::path copy = testing::copy_corpus_table(relative, dir.path());
    std::multiset<RecordBytes> expected = records_of(*Table::open_file(copy));
    const std::size_t original = expected.size();
    {
        const auto table = Table::open_file(copy, Access::kWrite);
        auto cursor = table->open_cursor();
        RecordEditor editor(table, *cursor);
        const Schema& schema = table->schema();
        const std::size_t key_fields = schema.key_fields();

        for (int n = 0; n < 40; ++n) {
            editor.append();
            for (const Field& f : schema.fields())
                editor.set_field(f.name, value_for(f, n));
            editor.post();
            expected.insert(current(*cursor));
        }
        // Change a field outside the key (or the key, when there is no other field) of
        // records old and new.
        const Field& changed = schema[key_fields < schema.size() ? key_fields : 0];
        int n = 100;
        for (std::uint32_t number : {1u, static_cast<std::uint32_t>(original / 2 + 1),
                                     static_cast<std::uint32_t>(original + 20)}) {
            cursor->first();
            while (!cursor->eof() && cursor->record_number() < number)
                cursor->next();
            if (cursor->eof()) continue;
            expected.erase(expected.find(current(*cursor)));
            editor.edit();
            editor.set_field(changed.name, value_for(changed, n++));
            editor.post();
            expected.insert(current(*cursor));
        }
        // Delete the first record, one from the middle and the last.
        for (int round = 0; round < 3; ++round) {
            cursor->first();
            const std::uint32_t target = round == 0   ? 1
                                         : round == 1 ? table->record_count() / 2
                                                      : table->record_count();
            while (!cursor->eof() && cursor->record_number() < target)
                cursor->next();
            if (cursor->eof()) continue;
            expected.erase(expected.find(current(*cursor)));
            editor.remove();
        }
        editor.save_changes();
    }

    const auto table = Table::open_file(copy);
    EXPECT_EQ(table->record_count(), expected.size());
    EXPECT_EQ(records_of(*table), expected);
    if (table->is_keyed()) {
        std::uint32_t walked = 0;
        for (auto cursor = open_primary_cursor(*table); !cursor->eof(); cursor->next())
            ++walked;  // the primary-key cursor fails on keys out of order
        EXPECT_EQ(walked, expected.size());
        testing::expect_primary_index_matches(*table);
    }
    testing::PxlibTable pxlib(copy.string());
    ASSERT_EQ(static_cast<std::size_t>(pxlib.record_count()), expected.size());
    auto cursor = table->open_cursor();
    for (int i = 0; i < pxlib.record_count(); ++i, cursor->next())
        ASSERT_EQ(
            std::memcmp(pxlib.read_record(i), cursor->record().data(), cursor->record().size()), 0)
            << "record " << i;
}

TEST(CorpusWrite, Level3TablesTakeChanges) {
    SKIP_WITHOUT_CORPUS();
    change_and_check("paradoxdriver/mtdemo/KRENTAL.DB");   // 3.0, key date + alpha + number
    change_and_check("paradoxdriver/mtdemo/EMPLOYEE.DB");  // 3.0, key alpha + short
    change_and_check("paradoxdriver/areas/AREACODE.DB");   // 3.0, unkeyed
    change_and_check("paradoxdriver/fields/date35.db");    // 3.5
}

TEST(CorpusWrite, Level4TablesTakeChanges) {
    SKIP_WITHOUT_CORPUS();
    change_and_check("paradoxdriver/areas/ZIPCODES.DB");  // 43,185 records, last block cut short
    change_and_check("paradoxdriver/db/AREACODE.DB");
    change_and_check("paradox-pm/BIOLIFE.DB");  // memos and graphics in the .MB
}

TEST(CorpusWrite, Level5TablesTakeChanges) {
    SKIP_WITHOUT_CORPUS();
    change_and_check("paradoxdriver/fields/long.db");  // auto-increment key
    change_and_check("paradoxdriver/fields/memo.db");
    change_and_check("paradoxdriver/joins/two.db");  // empty, two-field key
    change_and_check("paradoxdriver/fields/bcd.db");
}

TEST(CorpusWrite, Level7TablesTakeChanges) {
    SKIP_WITHOUT_CORPUS();
    change_and_check("paradoxdriver/db/ORDERS.DB");
    change_and_check("paradoxdriver/db/CONTACTS.DB");
    change_and_check("paradoxdriver/db/HERCULES.DB");  // alpha key under ANSII850, memos
    change_and_check("paradoxdriver/geog/County.DB");  // 16 KiB blocks
    change_and_check("pxlib/TypSammlung.DB");  // every type, indexes that are not maintained
}

TEST(CorpusWrite, ProtectedAndIndexedTablesAreNotWritten) {
    SKIP_WITHOUT_CORPUS();
    TempDir dir;
    const fs::path protected_copy =
        testing::copy_corpus_table("paradoxdriver/encrypt/encrypted.db", dir.path());
    EXPECT_THROW(Table::open_file(protected_copy, Access::kWrite), vaq::Error);
    // Still readable.
    EXPECT_EQ(Table::open_file(protected_copy)->record_count(), 4u);
}

}  // namespace
}  // namespace pdx
