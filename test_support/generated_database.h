#pragma once

// A small VAQ database written by the database generator (generator/): every table, the
// newer ones too, with a few rows each. Tests that use it link vaq_generator.

#include <cstdint>
#include <filesystem>

#include "generator/database_generator.h"

namespace vaq::test_support {

inline bench::GeneratedDatabase write_small_database(const std::filesystem::path& out,
                                                     std::uint64_t seed = 3) {
    bench::GeneratorOptions o;
    o.site.controllers = 2;
    o.site.doorsPerController = 2;
    o.site.staff = 20;
    o.site.transactions = 200;
    o.site.seed = seed;
    o.site.newerTables = bench::NewerTables::kAll;
    o.out = out;
    return bench::generate_database(o);
}

}  // namespace vaq::test_support
