#pragma once

// The options of vaq-utility, read before the window starts: --help, --version and
// --database DIR. Options of one dash (-platform, -style ...) are left to Qt.

#include <optional>
#include <string>

namespace vaq::app {

struct CommandLine {
    bool help = false;
    bool version = false;
    // --database DIR: the directory that stands as the alias VAQ.
    std::optional<std::string> database;
    // What was wrong with the arguments; empty when nothing was.
    std::string error;
};

CommandLine parse_command_line(int argc, const char* const* argv);

std::string usage_text();
// The utility's version and the engine's.
std::string version_text();

}  // namespace vaq::app
