// Session1 and MainDB over the engine, and the alias list of the window.

#include <gtest/gtest.h>
#include <unistd.h>

#include "app/engine_database.h"
#include "engine/api/config.h"
#include "engine/api/engine_error.h"

namespace fs = std::filesystem;
using vaq::app::EngineDatabase;

namespace {

class EngineDatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("vaq-app-engine-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "data");
    }
    void TearDown() override {
        pdx::use_configuration(pdx::Configuration());
        fs::remove_all(folder_);
    }

    void use_configuration(const std::string& text) {
        pdx::use_configuration(pdx::Configuration::from_text(text, folder_, "engine.ini"));
    }

    std::string opening_error() {
        EngineDatabase database;
        try {
            database.open();
        } catch (const pdx::EngineError& error) {
            EXPECT_FALSE(database.main_database().connected());
            return error.what();
        }
        return "opened";
    }

    fs::path folder_;
};

TEST_F(EngineDatabaseTest, MainDbOpensOnTheDirectoryOfAliasVaq) {
    use_configuration("[alias VAQ]\ntype = STANDARD\npath = data\n");
    EngineDatabase database;
    database.open();
    EXPECT_TRUE(database.session().active());
    EXPECT_EQ(database.session().name(), "Session1");
    EXPECT_TRUE(database.main_database().connected());
    EXPECT_EQ(database.main_database().database_name(), "MainDB");
    EXPECT_EQ(fs::canonical(database.main_database().directory()), fs::canonical(folder_ / "data"));
}

TEST_F(EngineDatabaseTest, OpeningFailsWithTheEnginesMessage) {
    use_configuration("[alias Other]\ntype = STANDARD\npath = data\n");
    EXPECT_EQ(opening_error(), "Alias not found: VAQ");
    use_configuration("[alias VAQ]\ntype = STANDARD\npath = gone\n");
    EXPECT_EQ(opening_error(), "Directory does not exist: " + (folder_ / "gone").string());
}

TEST_F(EngineDatabaseTest, AliasListHoldsStandardAliasesOnlyInTheirOrder) {
    use_configuration(
        "[alias Zeta]\ntype = STANDARD\npath = data\n"
        "[alias Lower]\ntype = standard\npath = data\n"
        "[alias Remote]\ntype = INTRBASE\npath = data\n"
        "[alias VAQ]\ntype = STANDARD\npath = data\n");
    EngineDatabase database;
    EXPECT_EQ(database.standard_aliases(), (std::vector<std::string>{"Zeta", "VAQ"}));
}

TEST_F(EngineDatabaseTest, NoAliasesGiveAnEmptyList) {
    use_configuration("");
    EngineDatabase database;
    EXPECT_TRUE(database.standard_aliases().empty());
}

}  // namespace
