#include "engine/api/tables.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/api/config.h"
#include "engine/api/engine_error.h"
#include "scratch.h"

namespace pdx {
namespace {

using testing::ScratchDir;
using Names = std::vector<std::string>;

TEST(Wildcards, MatchLikeFileDialogsIgnoringCase) {
    EXPECT_TRUE(matches_pattern("Door.DB", "*.*"));
    EXPECT_TRUE(matches_pattern("Door.DB", "d*.db"));
    EXPECT_TRUE(matches_pattern("Door.DB", "D??r.*"));
    EXPECT_FALSE(matches_pattern("Door.DB", "D?r.*"));
    EXPECT_TRUE(matches_pattern("a.b.c.DB", "*.*.db"));
    EXPECT_FALSE(matches_pattern("Door.DB", "*.px"));
    EXPECT_TRUE(matches_pattern("[x].DB", "[x]*"));  // brackets are plain characters
    EXPECT_TRUE(matches_pattern("", "*"));
}

class TableListing : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"Door.DB", "Door.PX", "transact.db", "Ctrller.Db", "WorkON.DB",
                                 "notes.txt", "Personal.DB.bak", "DB"})
            dir_.write(name, "x");
        std::filesystem::create_directory(dir_.path() / "Folder.DB");  // a directory, no table
        std::filesystem::create_symlink(dir_.path() / "Door.DB", dir_.path() / "Alias.DB");
        std::filesystem::create_symlink(dir_.path() / "missing", dir_.path() / "Dangling.DB");
    }
    ScratchDir dir_;
};

TEST_F(TableListing, ListsTheDbFilesSortedWithoutRegardToCase) {
    EXPECT_EQ(list_tables(dir_.path()),
              (Names{"Alias.DB", "Ctrller.Db", "Door.DB", "transact.db", "WorkON.DB"}));
    EXPECT_EQ(list_tables(dir_.path(), "*.*", false),
              (Names{"Alias", "Ctrller", "Door", "transact", "WorkON"}));
    EXPECT_EQ(list_tables(dir_.path(), "t*"), (Names{"transact.db"}));
    EXPECT_EQ(list_tables(dir_.path(), "*.px"), Names{});
}

TEST_F(TableListing, TheAliasDirectoryMustExist) {
    use_configuration(Configuration::from_text(
        "[alias VAQ]\npath = " + dir_.path().string() +
            "\n[alias Gone]\npath = " + (dir_.path() / "nothing").string() + "\n",
        "/", "test"));
    EXPECT_EQ(list_alias_tables("vaq").size(), 5u);
    try {
        list_alias_tables("Gone");
        ADD_FAILURE() << "listed a directory that does not exist";
    } catch (const EngineError& error) {
        EXPECT_EQ(error.code(), DBIERR_DIRNOTFOUND);
        EXPECT_EQ(error.what(), "Directory does not exist: " + (dir_.path() / "nothing").string());
    }
    try {
        list_tables(dir_.path() / "notes.txt");
        ADD_FAILURE() << "listed a file as a directory";
    } catch (const EngineError& error) {
        EXPECT_EQ(error.code(), DBIERR_DIRNOTFOUND);
    }
    reload_configuration();
}

TEST_F(TableListing, AnUnreadableDirectoryNamesTheReason) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the root user";
    const auto locked = dir_.path() / "locked";
    std::filesystem::create_directory(locked);
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    try {
        list_tables(locked);
        ADD_FAILURE() << "listed an unreadable directory";
    } catch (const EngineError& error) {
        EXPECT_EQ(error.code(), DBIERR_OSACCESS);
        EXPECT_NE(std::string(error.what()).find("Cannot read directory"), std::string::npos);
    }
    std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
}

}  // namespace
}  // namespace pdx
