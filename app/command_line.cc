#include "app/command_line.h"

#include <string_view>

#include "engine/api/version.h"

namespace vaq::app {

CommandLine parse_command_line(int argc, const char* const* argv) {
    CommandLine options;
    for (int i = 1; i < argc && options.error.empty(); ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (argument == "--database") {
            if (i + 1 == argc || std::string_view(argv[i + 1]).empty())
                options.error = "--database needs the folder of the database";
            else
                options.database = argv[++i];
        } else if (argument.starts_with("--database=")) {
            options.database = std::string(argument.substr(11));
            if (options.database->empty())
                options.error = "--database needs the folder of the database";
        } else if (argument.starts_with("--")) {
            options.error = "Unknown option " + std::string(argument);
        } else if (!argument.starts_with("-")) {
            options.error = "Unexpected argument " + std::string(argument);
        } else if (i + 1 < argc && !std::string_view(argv[i + 1]).starts_with("-")) {
            ++i;  // a Qt option and its value
        }
    }
    return options;
}

std::string usage_text() {
    return "Usage: vaq-utility [--database DIR]\n"
           "       vaq-utility --help | --version\n"
           "\n"
           "Opens the database of the VAQ access-control program in a window: verify and\n"
           "rebuild its tables, upgrade it to the 3.2.1 layout, back-fill staff IDs, re-arrange\n"
           "key columns and import transaction files.\n"
           "\n"
           "The database is the alias VAQ of the engine configuration ($PDX_CONFIG, else\n"
           "~/.config/pdx/engine.ini):\n"
           "\n"
           "  [alias VAQ]\n"
           "  type = STANDARD\n"
           "  path = /folder/of/the/database\n"
           "\n"
           "Options:\n"
           "  --database DIR  open DIR as the alias VAQ; no configuration file is needed\n"
           "  -h, --help      print this text\n"
           "  --version       print the version of the utility and of its engine\n"
           "\n"
           "vaqdb(1) runs the same jobs without a window.\n";
}

std::string version_text() {
    return std::string("vaq-utility ") + VAQ_UTILITY_VERSION + "\nengine " + pdx::engine_version() +
           "\n";
}

}  // namespace vaq::app
