#include "engine/api/config.h"

#include <gtest/gtest.h>

#include "engine/api/engine_error.h"
#include "scratch.h"

namespace pdx {
namespace {

using testing::ScopedEnv;
using testing::ScratchDir;

std::string failure_of(std::string_view text) {
    try {
        Configuration::from_text(text, "/base", "engine.ini");
    } catch (const EngineError& error) {
        EXPECT_EQ(error.code(), DBIERR_CONFIG);
        return error.what();
    }
    return "no error";
}

TEST(Configuration, ReadsAliasesAndEngineSettings) {
    ScratchDir dir;
    const auto file = dir.write("engine.ini",
                                "; engine of the test\r\n"
                                "[alias VAQ]\r\n"
                                "type = STANDARD\r\n"
                                "path = data ; beside this file\r\n"
                                "\n"
                                "[Alias  Archive]\n"
                                "PATH = /srv/archive/\n"
                                "[ENGINE]\n"
                                "private_dir = /var/pdx\n"
                                "create_level = 5\n"
                                "block_size = 2048\n");
    const Configuration config = Configuration::from_file(file);
    ASSERT_EQ(config.aliases().size(), 2u);
    EXPECT_EQ(config.aliases()[0].name, "VAQ");
    EXPECT_EQ(config.aliases()[0].type, "STANDARD");
    EXPECT_EQ(config.aliases()[0].path, dir.path() / "data");
    EXPECT_EQ(config.aliases()[1].name, "Archive");
    EXPECT_EQ(config.aliases()[1].type, "STANDARD");  // the default type
    EXPECT_EQ(config.aliases()[1].path, "/srv/archive/");
    EXPECT_EQ(config.find_alias("vaq"), &config.aliases()[0]);
    EXPECT_EQ(config.find_alias("VAQ2"), nullptr);
    EXPECT_EQ(config.settings().private_dir, "/var/pdx");
    EXPECT_EQ(config.settings().create_level, 5);
    EXPECT_EQ(config.settings().block_size, 2048);
    EXPECT_EQ(config.source(), file);
}

TEST(Configuration, DefaultsAndHomeRelativePaths) {
    ScopedEnv home("HOME", "/home/tester");
    ScopedEnv state("XDG_STATE_HOME", std::nullopt);
    const Configuration config =
        Configuration::from_text("[alias A]\npath = ~/vaq\ntype = standard\n", "/etc", "x");
    EXPECT_EQ(config.aliases()[0].path, "/home/tester/vaq");
    EXPECT_EQ(config.aliases()[0].type, "standard");  // kept as written
    EXPECT_EQ(config.settings().private_dir, "/home/tester/.local/state/pdx/private");
    EXPECT_EQ(config.settings().create_level, 7);
    EXPECT_EQ(config.settings().block_size, 4096);
    EXPECT_EQ(config.settings().keep_backups, 2);
    EXPECT_EQ(
        Configuration::from_text("[engine]\nkeep_backups = 0\n", "/", "x").settings().keep_backups,
        0);

    ScopedEnv xdgState("XDG_STATE_HOME", "/state");
    EXPECT_EQ(default_private_dir(), "/state/pdx/private");
}

TEST(Configuration, RefusesMistakesWithTheirLine) {
    EXPECT_EQ(failure_of("[alias VAQ]\npth = /x\n"),
              "Engine configuration engine.ini line 2: unknown setting 'pth' in [alias VAQ]");
    EXPECT_EQ(failure_of("[engine]\ncreate_level = 6\n"),
              "Engine configuration engine.ini line 2: create_level must be 3, 4, 5 or 7, not '6'");
    EXPECT_EQ(failure_of("[engine]\n\nblock_size = 5000\n"),
              "Engine configuration engine.ini line 3: block_size must be a multiple of 1024 from "
              "1024 to 32768, not '5000'");
    EXPECT_NE(failure_of("[engine]\nblock_size = 65536\n").find("block_size must"),
              std::string::npos);
    EXPECT_EQ(failure_of("[engine]\nkeep_backups = -1\n"),
              "Engine configuration engine.ini line 2: keep_backups must be a number from 0 to "
              "1000, not '-1'");
    EXPECT_EQ(failure_of("[engine]\ncolour = red\n"),
              "Engine configuration engine.ini line 2: unknown setting 'colour' in [engine]");
    EXPECT_EQ(failure_of("[aliases]\npath = /x\n"),
              "Engine configuration engine.ini line 2: unknown section [aliases]");
    EXPECT_EQ(failure_of("path = /x\n"),
              "Engine configuration engine.ini line 1: setting 'path' outside of a section");
    EXPECT_EQ(failure_of("[alias VAQ]\npath = /a\n[alias vaq]\npath = /b\n"),
              "Engine configuration engine.ini line 3: alias defined twice: vaq");
    EXPECT_EQ(failure_of("[alias VAQ]\ntype = STANDARD\n"),
              "Engine configuration engine.ini: alias VAQ has no path");
    EXPECT_EQ(failure_of("[alias EMPTY]\n"),
              "Engine configuration engine.ini: alias EMPTY has no path");
    EXPECT_EQ(failure_of("[alias VAQ]\npath =\n"),
              "Engine configuration engine.ini line 2: alias VAQ has an empty path");
    EXPECT_EQ(failure_of("[alias VAQ]\npath = /x\nthis line has no equals sign\n"),
              "Engine configuration engine.ini line 3: syntax error");
    EXPECT_EQ(failure_of("[alias " + std::string(32, 'A') + "]\npath = /x\n"),
              "Engine configuration engine.ini line 1: alias name is longer than 31 characters: " +
                  std::string(32, 'A'));
}

TEST(Configuration, RefusesLinesTheReaderWouldCut) {
    const std::string fits = "[alias VAQ]\npath = /" + std::string(189, 'p') + "\r\n";
    EXPECT_EQ(Configuration::from_text(fits, "/", "x").aliases()[0].path.string().size(), 190u);
    const std::string tooLong = "[alias VAQ]\npath = /" + std::string(300, 'p') + "\n";
    EXPECT_EQ(failure_of(tooLong),
              "Engine configuration engine.ini line 2: line is longer than 197 characters");
}

TEST(Configuration, FileLocationFollowsTheEnvironment) {
    ScopedEnv home("HOME", "/home/tester");
    {
        ScopedEnv explicitFile("PDX_CONFIG", "/etc/pdx.ini");
        EXPECT_EQ(Configuration::default_file(), "/etc/pdx.ini");
    }
    ScopedEnv noExplicit("PDX_CONFIG", std::nullopt);
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(Configuration::default_file(), "/cfg/pdx/engine.ini");
    }
    ScopedEnv relativeXdg("XDG_CONFIG_HOME", "relative");  // not absolute: ignored
    EXPECT_EQ(Configuration::default_file(), "/home/tester/.config/pdx/engine.ini");
}

TEST(Configuration, MissingFiles) {
    ScratchDir dir;
    ScopedEnv noExplicit("PDX_CONFIG", std::nullopt);
    ScopedEnv xdg("XDG_CONFIG_HOME", dir.path().string());
    EXPECT_TRUE(Configuration::load_default().aliases().empty());  // nothing configured yet

    dir.write("pdx/engine.ini", "[alias VAQ]\npath = /data\n");
    EXPECT_EQ(Configuration::load_default().aliases().size(), 1u);

    ScopedEnv missing("PDX_CONFIG", (dir.path() / "none.ini").string());
    try {
        Configuration::load_default();
        ADD_FAILURE() << "a missing file named by PDX_CONFIG was accepted";
    } catch (const EngineError& error) {
        EXPECT_EQ(std::string(error.what()), "Engine configuration file does not exist: " +
                                                 (dir.path() / "none.ini").string() +
                                                 " (named by PDX_CONFIG)");
    }
}

TEST(Configuration, ProcessConfigurationIsReadOnFirstUseAndReplaceable) {
    ScratchDir dir;
    ScopedEnv explicitFile("PDX_CONFIG", dir.write("a.ini", "[alias ONE]\npath=/one\n").string());
    reload_configuration();
    EXPECT_EQ(find_alias("one").path, "/one");
    use_configuration(Configuration::from_text("[alias TWO]\npath=/two\n", "/", "t"));
    EXPECT_EQ(find_alias("TWO").path, "/two");
    try {
        find_alias("ONE");
        ADD_FAILURE() << "alias of the replaced configuration found";
    } catch (const EngineError& error) {
        EXPECT_EQ(error.code(), DBIERR_UNKNOWNDB);
        EXPECT_STREQ(error.what(), "Alias not found: ONE");
    }
    reload_configuration();
    EXPECT_EQ(find_alias("ONE").name, "ONE");
    reload_configuration();
}

TEST(Configuration, PrivateDirectoryIsCreatedForTheUserOnly) {
    ScratchDir dir;
    const auto wanted = dir.path() / "state" / "pdx" / "private";
    use_configuration(
        Configuration::from_text("[engine]\nprivate_dir = state/pdx/private\n", dir.path(), "t"));
    EXPECT_EQ(private_directory(), wanted);
    EXPECT_EQ(std::filesystem::status(wanted).permissions(), std::filesystem::perms::owner_all);
    EXPECT_EQ(private_directory(), wanted);  // an existing one is used as it is

    dir.write("file", "x");
    use_configuration(
        Configuration::from_text("[engine]\nprivate_dir = file/private\n", dir.path(), "t"));
    try {
        private_directory();
        ADD_FAILURE() << "created a directory below a file";
    } catch (const EngineError& error) {
        EXPECT_EQ(error.code(), DBIERR_OSACCESS);
        EXPECT_EQ(std::string(error.what())
                      .rfind("Cannot create the private directory " +
                                 (dir.path() / "file" / "private").string(),
                             0),
                  0u);
    }
    reload_configuration();
}

}  // namespace
}  // namespace pdx
