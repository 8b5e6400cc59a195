// The options of vaq-utility and the note the "Application Error" box adds about the engine
// configuration.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "app/command_line.h"
#include "app/startup.h"

namespace vaq::app {
namespace {

CommandLine parse(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "vaq-utility");
    return parse_command_line(static_cast<int>(arguments.size()), arguments.data());
}

TEST(CommandLine, OptionsAreReadAndQtOptionsLeftAlone) {
    EXPECT_TRUE(parse({"--help"}).help);
    EXPECT_TRUE(parse({"-h"}).help);
    EXPECT_TRUE(parse({"--version"}).version);
    EXPECT_EQ(parse({"--database", "/srv/vaq"}).database, "/srv/vaq");
    EXPECT_EQ(parse({"--database=/srv/vaq"}).database, "/srv/vaq");
    const CommandLine qt = parse({"-platform", "offscreen", "--database", "db"});
    EXPECT_EQ(qt.error, "");
    EXPECT_EQ(qt.database, "db");
    const CommandLine plain = parse({});
    EXPECT_FALSE(plain.help || plain.version || plain.database);
    EXPECT_EQ(plain.error, "");

    EXPECT_EQ(parse({"--database"}).error, "--database needs the folder of the database");
    EXPECT_EQ(parse({"--database="}).error, "--database needs the folder of the database");
    EXPECT_EQ(parse({"--frobnicate"}).error, "Unknown option --frobnicate");
    EXPECT_EQ(parse({"stray"}).error, "Unexpected argument stray");
    EXPECT_NE(usage_text().find("--database DIR"), std::string::npos);
    EXPECT_NE(version_text().find("\nengine "), std::string::npos);
}

TEST(ConfigurationNote, SaysWhichFileWasReadOrThatThereIsNone) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("vaq-note-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const fs::path file = folder / "engine.ini";
    setenv("PDX_CONFIG", file.c_str(), 1);
    std::string note = configuration_note("");
    EXPECT_NE(note.find("There is no engine configuration file " + file.string()),
              std::string::npos)
        << note;
    EXPECT_NE(note.find("[alias VAQ]\ntype = STANDARD\npath = "), std::string::npos) << note;
    EXPECT_NE(note.find("--database"), std::string::npos) << note;
    std::ofstream(file) << "[alias Other]\npath = .\n";
    note = configuration_note("");
    EXPECT_NE(note.find("The engine configuration was read from " + file.string()),
              std::string::npos)
        << note;
    EXPECT_EQ(configuration_note("/srv/vaq"), "The alias VAQ was given as --database /srv/vaq.");
    unsetenv("PDX_CONFIG");
    fs::remove_all(folder);
}

}  // namespace
}  // namespace vaq::app
