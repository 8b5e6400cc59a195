#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "db/database.h"
#include "db/session.h"
#include "db/tests/db_test_support.h"
#include "engine/api/config.h"
#include "engine/api/engine_error.h"

namespace vaq::db {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// A database directory with a few tables and an engine that knows it as VAQ, beside an
// alias whose directory is missing.
class Connections : public testing::AliasDirectory {
  protected:
    void SetUp() override {
        AliasDirectory::SetUp();
        if (HasFatalFailure()) return;
        for (const char* name : {"Door.DB", "Door.PX", "Transact.db", "Ctrller.DB"})
            std::ofstream(data() / name) << "x";
    }
    std::string configuration() const override {
        return "[alias VAQ]\npath = data\n[alias Old]\npath = gone\n[alias Other]\ntype = DBASE\n"
               "path = data\n";
    }
};

TEST_F(Connections, SessionListsAliasesAndTablesIntoEmptiedLists) {
    Session session("Session1");
    EXPECT_FALSE(session.active());
    Names list{"left over"};
    session.get_alias_names(list);
    EXPECT_TRUE(session.active());
    EXPECT_EQ(list, (Names{"VAQ", "Old", "Other"}));

    list = {"left over"};
    session.get_table_names("VAQ", "*.*", true, false, list);
    EXPECT_EQ(list, (Names{"Ctrller.DB", "Door.DB", "Transact.db"}));
    EXPECT_EQ(session.table_names("vaq", "*.*", false), (Names{"Ctrller", "Door", "Transact"}));
    EXPECT_EQ(session.alias_directory("VAQ"), data());
    EXPECT_EQ(session.alias_directory("Old"), root_ / "gone");  // described, though missing

    list = {"left over"};
    EXPECT_EQ(failure_of([&] { session.get_table_names("Old", "*.*", true, false, list); }),
              "Directory does not exist: " + (root_ / "gone").string());
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(failure_of([&] { session.table_names("Nowhere"); }), "Alias not found: Nowhere");
    EXPECT_EQ(failure_of([&] { session.alias_directory("Nowhere"); }), "Alias not found: Nowhere");
}

TEST_F(Connections, DatabaseOpensOnAnAliasAndGivesItsDirectory) {
    Session session("Session1");
    Database mainDb(session, "MainDB", "VAQ");
    EXPECT_FALSE(mainDb.connected());
    EXPECT_EQ(failure_of([&] { mainDb.directory(); }), "Database is not open: MainDB");

    mainDb.open();
    EXPECT_TRUE(session.active());
    EXPECT_TRUE(mainDb.connected());
    EXPECT_EQ(mainDb.directory(), data());
    EXPECT_EQ(session.find_database("maindb"), &mainDb);
    EXPECT_EQ(session.table_names("MainDB").size(), 3u);  // by connection name
    EXPECT_EQ(failure_of([&] { mainDb.set_alias_name("Old"); }),
              "Cannot change the alias of an open database: MainDB");

    mainDb.close();  // closed and opened again, as the upgrade does
    EXPECT_EQ(session.find_database("MainDB"), nullptr);
    mainDb.open();
    EXPECT_EQ(mainDb.directory(), data());

    session.close();  // deactivating the session closes its connections
    EXPECT_FALSE(mainDb.connected());
}

TEST_F(Connections, OpeningFailsWithTheEnginesMessage) {
    Session session("Session1");
    Database missingAlias(session, "MainDB", "VAQX");
    try {
        missingAlias.open();
        ADD_FAILURE() << "opened a connection on an unknown alias";
    } catch (const pdx::EngineError& error) {
        EXPECT_EQ(error.code(), pdx::DBIERR_UNKNOWNDB);
        EXPECT_STREQ(error.what(), "Alias not found: VAQX");
    }
    EXPECT_FALSE(missingAlias.connected());

    Database missingDir(session, "Second", "Old");
    EXPECT_EQ(failure_of([&] { missingDir.open(); }),
              "Directory does not exist: " + (root_ / "gone").string());
    Database otherType(session, "Third", "Other");
    EXPECT_EQ(failure_of([&] { otherType.open(); }), "Alias is not of type STANDARD: Other");

    missingDir.set_alias_name("VAQ");
    missingDir.open();
    EXPECT_EQ(missingDir.directory(), data());
}

TEST_F(Connections, ABrokenEngineConfigurationStopsTheSessionFromStarting) {
    const fs::path file = root_ / "broken.ini";
    std::ofstream(file) << "[alias VAQ]\npath = /x\ncolour = blue\n";
    setenv("PDX_CONFIG", file.c_str(), 1);
    pdx::reload_configuration();
    Session session("Session1");
    EXPECT_EQ(failure_of([&] { session.open(); }),
              "Engine configuration " + file.string() +
                  " line 3: unknown setting 'colour' in [alias VAQ]");
    EXPECT_FALSE(session.active());
    unsetenv("PDX_CONFIG");
}

TEST(DefaultSession, IsOneProcessWideSession) {
    EXPECT_EQ(&default_session(), &default_session());
    EXPECT_EQ(default_session().name(), "Default");
}

}  // namespace
}  // namespace vaq::db
