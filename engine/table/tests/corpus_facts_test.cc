// What the corpus README and the probe output say about particular tables, where pxlib
// cannot be asked: blobs, encrypted blob files, level-3 and Roman-8 text, field names.

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/table/cursor.h"
#include "engine/table/table.h"
#include "test_support/corpus.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;

class CorpusFacts : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!vaq::test_support::have_corpus())
            GTEST_SKIP() << "The Paradox corpus folder " << vaq::test_support::corpus_folder()
                         << " is absent.";
    }
    static std::unique_ptr<Cursor> open(const std::string& relative) {
        return Table::open_file(vaq::test_support::corpus_folder() / relative)->open_cursor();
    }
};

TEST_F(CorpusFacts, FieldNamesAreConvertedFromTheCodePage) {
    auto cursor = open("pxlib/TypSammlung.DB");
    const Schema& schema = cursor->table().schema();
    EXPECT_EQ(schema[2].name, "W\u00e4hrung");
    EXPECT_EQ(schema[11].name, "Z\u00e4hler");
    EXPECT_EQ(schema[12].name, "Bin\u00e4r");
    EXPECT_EQ(schema[2].stored_name, "W\xE4hrung");
    EXPECT_EQ(cursor->field("z\u00c4hler").as_integer(), 1);
}

TEST_F(CorpusFacts, EveryLevel7TypeOfTypSammlung) {
    auto cursor = open("pxlib/TypSammlung.DB");
    EXPECT_EQ(cursor->field("Alpha").as_text(), "AAA Irgendein Text");
    EXPECT_EQ(cursor->field("Datum").as_text(), "1970-01-01");
    EXPECT_EQ(cursor->field("Zeit").as_text(), "00:00:00");  // midnight, not NULL
    EXPECT_EQ(cursor->field("Datum/Zeit").as_text(), "1970-01-01 11:00:00");
    EXPECT_EQ(cursor->field("BCD").as_text(), "40");
    EXPECT_TRUE(cursor->field("Logisch").is_null());
    cursor->next();
    EXPECT_EQ(cursor->field("Logisch").as_text(), "false");
    EXPECT_TRUE(cursor->field("BCD").is_null());  // stored 06 00 ...: no not-NULL bit
    cursor->next();
    EXPECT_EQ(cursor->field("Alpha").as_text(), "F\u00fcnfter Datensatz");
    EXPECT_EQ(cursor->field("Memo").as_text(), "Dies ist eine Memo im 'F\u00fcnften Datensat'");
    EXPECT_EQ(cursor->field("BCD").as_text(), "13.123457");
    EXPECT_EQ(cursor->field("W\u00e4hrung").as_text(), "13.002");
}

TEST_F(CorpusFacts, BlobsOfBiolifeComeFromItsBlobFile) {
    auto cursor = open("paradox-pm/BIOLIFE.DB");
    const auto notes = cursor->field("Notes").as_text();
    EXPECT_EQ(notes.size(), 701u);
    EXPECT_EQ(notes.substr(0, 40), "Also known as the big spotted triggerfis");
    const auto graphic = cursor->field("Graphic").blob();
    EXPECT_EQ(graphic.size(), 38886u);
    // Graphic values carry 01 00 00 01 and their length - 8 before the picture (a BMP).
    EXPECT_EQ(graphic[3], 1);
    EXPECT_EQ(load_u32le(graphic.data() + 4), 38886u - 8);
    EXPECT_EQ(graphic[8], 'B');
    EXPECT_EQ(graphic[9], 'M');
    cursor->next();
    EXPECT_EQ(cursor->field("Notes").as_text().size(), 334u);
}

TEST_F(CorpusFacts, EncryptedBlobFileReadsWithoutPassword) {
    auto cursor = open("paradoxdriver/encrypt/encryptedmemo.db");
    EXPECT_TRUE(cursor->table().is_encrypted());
    const auto first = cursor->field("TEXT").as_text();
    EXPECT_EQ(first.size(), 55855u);
    EXPECT_EQ(first.substr(0, 27), " The PARADOX File Structure");
    cursor->next();
    EXPECT_EQ(cursor->field("TEXT").blob().size(), 494832u);
}

TEST_F(CorpusFacts, EncryptedTablesOfEveryLevelRead) {
    auto level5 = open("paradoxdriver/encrypt/encrypted.db");
    EXPECT_EQ(level5->field("Text").as_text(), "Value 1");
    auto level35 = open("paradoxdriver/encrypt/encrypted35.db");
    EXPECT_EQ(level35->field("B").as_text(), "Test 1");
    EXPECT_EQ(level35->field("A").as_integer(), 1);
}

TEST_F(CorpusFacts, InlineAndExternalMemos) {
    auto cursor = open("paradoxdriver/fields/memo.db");
    std::size_t values = 0;
    for (; !cursor->eof(); cursor->next())
        values += cursor->field("Memo").is_null() ? 0 : 1;
    EXPECT_EQ(values, 2u);
}

TEST_F(CorpusFacts, OldTablesAndOtherCodePages) {
    auto states = open("paradoxdriver/areas/STATES.DB");  // level 3.0, header of 221 bytes
    EXPECT_EQ(states->table().header().header_size, 221);
    EXPECT_EQ(states->field("State").as_text(), "Alaska");
    auto roman8 = open("paradoxdriver/db/ROMAN8.db");
    EXPECT_EQ(roman8->table().codec().charset(), "HP-ROMAN8");
    EXPECT_EQ(roman8->field("A").as_text(), "\u0160\u00bd\u0192\u00b6");  // EB F8 BE F4
    auto general = open("paradoxdriver/db/GENERAL.DB");
    EXPECT_EQ(general->table().codec().charset(), "CP936");
}

TEST_F(CorpusFacts, TruncatedLastBlockOfZipcodes) {
    auto cursor = open("paradoxdriver/areas/ZIPCODES.DB");
    std::uint32_t n = 0;
    std::string last;
    for (; !cursor->eof(); cursor->next(), ++n)
        last = cursor->field("Zip").as_text();
    EXPECT_EQ(n, 43185u);
    EXPECT_EQ(cursor->record_number(), 43185u);
    EXPECT_FALSE(last.empty());
}

TEST_F(CorpusFacts, LocateInARealTable) {
    auto cursor = open("paradoxdriver/areas/ZIPCODES.DB");
    ASSERT_TRUE(
        cursor->locate("City", FieldInput{std::string("holtsville")}, {.case_insensitive = true}));
    EXPECT_EQ(cursor->record_number(), 2u);
    const std::vector<FieldInput> values = {std::string("NY"), std::string("Holtsville")};
    ASSERT_TRUE(cursor->locate("State;City", values));
    EXPECT_EQ(cursor->field("Zip").as_text(), "00501");
}

}  // namespace
}  // namespace pdx
