#pragma once

// Writes a whole old-layout VAQ database into a folder: the tables of generator_tables.h
// with the rows of a site, through the engine's table writer.

#include <cstdint>
#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <string_view>

#include "generator/generator_site.h"

namespace vaq::bench {

struct GeneratorOptions {
    SiteOptions site;
    std::filesystem::path out;
    // Remove the Paradox files already in `out` first; without it a folder that holds
    // tables is refused, so that no database is written over by mistake.
    bool replace = false;
    bool help = false;  // --help: print the usage and write nothing
};

// Reads the command line of vaq-generate (without the program name). Throws vaq::Error
// naming the option when one is unknown, lacks its value or has a value out of range.
GeneratorOptions parse_generator_arguments(std::span<const std::string_view> arguments);

// The text --help prints.
std::string generator_usage();

// What was written: the rows of each table, by file name.
struct GeneratedDatabase {
    std::filesystem::path folder;
    std::map<std::string, std::int64_t> rows;
};

// Creates the folder when needed and writes every table. Throws vaq::Error when the folder
// holds tables already (unless `replace`), and passes on the engine's errors.
GeneratedDatabase generate_database(const GeneratorOptions& options);

}  // namespace vaq::bench
