#include "engine/api/private_folders.h"

#include <gtest/gtest.h>

#include <set>

#include "engine/api/config.h"
#include "engine/api/engine_error.h"
#include "scratch.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDir;

// A configuration whose private directory lies in the scratch folder, for the test's life.
class PrivateFolders : public ::testing::Test {
  protected:
    void SetUp() override {
        use_configuration(
            Configuration::from_text("[engine]\nprivate_dir = private\n", scratch.path(), "test"));
    }
    void TearDown() override { reload_configuration(); }

    fs::path database(const std::string& relative) {
        const fs::path directory = scratch.path() / relative;
        fs::create_directories(directory);
        return directory;
    }

    ScratchDir scratch;
};

TEST_F(PrivateFolders, SameNamedDatabasesHaveFoldersOfTheirOwn) {
    const fs::path first = database("site-a/data");
    const fs::path second = database("site-b/data");
    EXPECT_NE(database_id(first), database_id(second));
    EXPECT_EQ(database_id(first).rfind("data-", 0), 0u);
    // One directory however it is spelt.
    EXPECT_EQ(database_id(first), database_id(first / ""));
    EXPECT_EQ(database_id(first), database_id(first / ".." / "data"));
    fs::create_directory_symlink(first, scratch.path() / "link");
    EXPECT_EQ(database_id(first), database_id(scratch.path() / "link"));

    const fs::path folder = database_folder(first);
    EXPECT_EQ(folder, scratch.path() / "private" / database_id(first));
    EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
    std::ifstream note(folder / "DATABASE");
    std::string line;
    std::getline(note, line);
    EXPECT_EQ(line, fs::canonical(first).string());
    EXPECT_NE(subject_folder(first, "Door"), subject_folder(second, "Door"));
}

TEST_F(PrivateFolders, DirectoryNamesAreMadeSafeForAFolderName) {
    const std::string id = database_id(database("Zeit Daten (alt)"));
    EXPECT_EQ(id.substr(0, id.size() - 17), "Zeit_Daten__alt_");
    EXPECT_EQ(database_id("/").rfind("root-", 0), 0u);
}

TEST_F(PrivateFolders, EveryRunGetsANewFolderAndRunsListOldestFirst) {
    const fs::path directory = database("data");
    std::vector<fs::path> made;
    for (int i = 0; i < 30; ++i)
        made.push_back(make_run_folder(directory, "Transact"));
    EXPECT_EQ(std::set<fs::path>(made.begin(), made.end()).size(), made.size());
    for (const fs::path& folder : made) {
        EXPECT_TRUE(fs::is_empty(folder));
        EXPECT_EQ(folder.parent_path(), subject_folder(directory, "Transact"));
    }
    // Something else in the subject's folder is no run.
    fs::create_directory(subject_folder(directory, "Transact") / "notes");
    std::ofstream(subject_folder(directory, "Transact") / "20261207T152116.042Z.txt") << "x";
    EXPECT_EQ(run_folders(subject_folder(directory, "Transact")), made);
    EXPECT_TRUE(run_folders(scratch.path() / "missing").empty());
}

TEST_F(PrivateFolders, RunsOfOneMillisecondAreOrderedByTheirNumber) {
    const fs::path subject = subject_folder(database("data"), "Door");
    for (const char* name : {"20261207T152116.042Z-10", "20261207T152116.042Z-2",
                             "20261207T152116.042Z", "20261207T152116.041Z-3"})
        fs::create_directory(subject / name);
    std::vector<std::string> names;
    for (const fs::path& run : run_folders(subject))
        names.push_back(run.filename().string());
    EXPECT_EQ(names,
              (std::vector<std::string>{"20261207T152116.041Z-3", "20261207T152116.042Z",
                                        "20261207T152116.042Z-2", "20261207T152116.042Z-10"}));
}

TEST_F(PrivateFolders, ASubjectNeverLeavesTheDatabaseFolder) {
    const fs::path directory = database("data");
    for (const char* subject : {"", ".", "..", "../Door", "a/b", "a\\b"}) {
        try {
            make_run_folder(directory, subject);
            ADD_FAILURE() << "made a run folder for '" << subject << "'";
        } catch (const EngineError& error) {
            EXPECT_EQ(error.code(), DBIERR_INVALIDPARAM);
        }
    }
}

}  // namespace
}  // namespace pdx
