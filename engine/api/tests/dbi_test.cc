#include "engine/api/dbi.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/api/config.h"
#include "engine/api/cursor.h"
#include "scratch.h"

namespace pdx {
namespace {

using testing::ScratchDir;

// The engine of each test knows three aliases: one on an existing directory, one on a
// directory that is not there, and one of another type.
class Dbi : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directory(dir_.path() / "data");
        use_configuration(
            Configuration::from_text("[alias VAQ]\npath = data\n"
                                     "[alias Gone]\npath = /no/such/dir\n"
                                     "[alias Remote]\ntype = INTRBASE\npath = data\n",
                                     dir_.path(), "test"));
    }
    void TearDown() override { reload_configuration(); }

    std::filesystem::path data() const { return dir_.path() / "data"; }

    static std::string raised(DBIResult result) {
        try {
            check(result);
        } catch (const EngineError& error) {
            EXPECT_EQ(error.code(), result);
            return error.what();
        }
        return "no error";
    }

  private:
    ScratchDir dir_;
};

TEST_F(Dbi, DatabaseListGivesEveryAliasThenEndOfTable) {
    hDBICur cursor = nullptr;
    ASSERT_EQ(DbiOpenDatabaseList(&cursor), DBIERR_NONE);
    DBDesc desc{};
    std::vector<std::pair<std::string, std::string>> seen;
    while (DbiGetNextRecord(cursor, dbiNOLOCK, &desc) == DBIERR_NONE)
        seen.emplace_back(desc.szName, desc.szDbType);
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::string>>{
                        {"VAQ", "STANDARD"}, {"Gone", "STANDARD"}, {"Remote", "INTRBASE"}}));
    EXPECT_EQ(DbiGetNextRecord(cursor, dbiNOLOCK, &desc), DBIERR_EOF);  // stays at the end
    ASSERT_EQ(DbiCloseCursor(&cursor), DBIERR_NONE);
    EXPECT_EQ(cursor, nullptr);
}

TEST_F(Dbi, StaleAndNullHandlesAreRefused) {
    hDBICur cursor = nullptr;
    ASSERT_EQ(DbiOpenDatabaseList(&cursor), DBIERR_NONE);
    hDBICur stale = cursor;
    ASSERT_EQ(DbiCloseCursor(&cursor), DBIERR_NONE);
    DBDesc desc{};
    EXPECT_EQ(DbiGetNextRecord(stale, dbiNOLOCK, &desc), DBIERR_INVALIDHNDL);
    EXPECT_EQ(raised(DbiCloseCursor(&stale)), "DbiCloseCursor: the cursor is not open");
    EXPECT_EQ(DbiSaveChanges(nullptr), DBIERR_INVALIDHNDL);
    EXPECT_EQ(DbiOpenDatabaseList(nullptr), DBIERR_INVALIDPARAM);
    EXPECT_EQ(DbiGetDatabaseDesc("VAQ", nullptr), DBIERR_INVALIDPARAM);
    EXPECT_EQ(DbiGetDirectory(nullptr, false, nullptr), DBIERR_INVALIDHNDL);
    hDBIDb db = nullptr;
    EXPECT_EQ(raised(DbiOpenDatabase("", nullptr, dbiREADWRITE, dbiOPENSHARED, &db)),
              "DbiOpenDatabase: no alias name given");
}

TEST_F(Dbi, DescribesOneAlias) {
    DBDesc desc{};
    ASSERT_EQ(DbiGetDatabaseDesc("vaq", &desc), DBIERR_NONE);
    EXPECT_STREQ(desc.szName, "VAQ");
    EXPECT_STREQ(desc.szDbType, "STANDARD");
    EXPECT_EQ(std::filesystem::path(desc.szPhyName), data());
    EXPECT_STREQ(desc.szText, "");
    // A directory that is gone is still described; opening it is what fails.
    ASSERT_EQ(DbiGetDatabaseDesc("Gone", &desc), DBIERR_NONE);
    EXPECT_STREQ(desc.szPhyName, "/no/such/dir");
    EXPECT_EQ(raised(DbiGetDatabaseDesc("VAQ2", &desc)), "Alias not found: VAQ2");
}

TEST_F(Dbi, OpensADatabaseOnAnExistingDirectoryOnly) {
    hDBIDb db = nullptr;
    ASSERT_EQ(DbiOpenDatabase("VAQ", szSTANDARD, dbiREADWRITE, dbiOPENSHARED, &db), DBIERR_NONE);
    DBIPATH directory{};
    ASSERT_EQ(DbiGetDirectory(db, false, directory), DBIERR_NONE);
    EXPECT_EQ(std::filesystem::path(directory), data());
    ASSERT_EQ(DbiCloseDatabase(&db), DBIERR_NONE);
    EXPECT_EQ(db, nullptr);

    EXPECT_EQ(raised(DbiOpenDatabase("NOPE", nullptr, dbiREADWRITE, dbiOPENSHARED, &db)),
              "Alias not found: NOPE");
    EXPECT_EQ(db, nullptr);
    EXPECT_EQ(raised(DbiOpenDatabase("Gone", nullptr, dbiREADWRITE, dbiOPENSHARED, &db)),
              "Directory does not exist: /no/such/dir");
    EXPECT_EQ(raised(DbiOpenDatabase("Remote", nullptr, dbiREADWRITE, dbiOPENSHARED, &db)),
              "Alias is not of type STANDARD: Remote");
    EXPECT_EQ(raised(DbiOpenDatabase("VAQ", "ORACLE", dbiREADWRITE, dbiOPENSHARED, &db)),
              "Database type not supported: ORACLE");
}

TEST_F(Dbi, ABrokenConfigurationIsReportedByEveryCall) {
    ScratchDir dir;
    testing::ScopedEnv file("PDX_CONFIG", dir.write("bad.ini", "[alias VAQ]\n").string());
    reload_configuration();
    EXPECT_EQ(raised(DbiInit()), "Engine configuration " + (dir.path() / "bad.ini").string() +
                                     ": alias VAQ has no path");
    hDBICur cursor = nullptr;
    EXPECT_EQ(DbiOpenDatabaseList(&cursor), DBIERR_CONFIG);
    EXPECT_EQ(cursor, nullptr);
}

class CountingCursor : public DbiCursor {
  public:
    explicit CountingCursor(int* saves) : saves_(saves) {}
    bool next_record(void*) override {
        throw EngineError(DBIERR_OSACCESS, "Read error in Door.DB");
    }
    void save_changes() override { ++*saves_; }

  private:
    int* saves_;
};

TEST_F(Dbi, SaveChangesReachesTheCursorAndCursorFailuresKeepTheirMessage) {
    int saves = 0;
    hDBICur cursor = register_cursor(std::make_unique<CountingCursor>(&saves));
    EXPECT_EQ(DbiSaveChanges(cursor), DBIERR_NONE);
    EXPECT_EQ(saves, 1);
    char record[8];
    EXPECT_EQ(raised(DbiGetNextRecord(cursor, dbiNOLOCK, record)), "Read error in Door.DB");
    EXPECT_EQ(DbiCloseCursor(&cursor), DBIERR_NONE);
}

TEST_F(Dbi, ErrorTexts) {
    DBIMSG text{};
    ASSERT_EQ(DbiGetErrorString(DBIERR_UNKNOWNDB, text), DBIERR_NONE);
    EXPECT_STREQ(text, "Alias not found");
    ASSERT_EQ(DbiGetErrorString(0x7777, text), DBIERR_NONE);
    EXPECT_STREQ(text, "Database engine error 30583");
    EXPECT_NO_THROW(check(DBIERR_NONE));
}

}  // namespace
}  // namespace pdx
