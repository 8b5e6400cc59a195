// vaq-generate: writes an old-layout VAQ database for the demo, the tests and the
// benchmarks. See generator_usage() for the command line.

#include <chrono>
#include <cstdio>
#include <exception>
#include <string_view>
#include <vector>

#include "generator/database_generator.h"

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    try {
        const vaq::bench::GeneratorOptions options =
            vaq::bench::parse_generator_arguments(arguments);
        if (options.help) {
            std::fputs(vaq::bench::generator_usage().c_str(), stdout);
            return 0;
        }
        const auto start = std::chrono::steady_clock::now();
        const vaq::bench::GeneratedDatabase database = vaq::bench::generate_database(options);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        for (const auto& [table, rows] : database.rows) {
            std::printf("%-20s %12lld rows\n", table.c_str(), static_cast<long long>(rows));
        }
        std::printf("Wrote %zu tables into %s in %.2f s\n", database.rows.size(),
                    database.folder.string().c_str(), took.count());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vaq-generate: %s\n", error.what());
        if (arguments.empty()) std::fputs(vaq::bench::generator_usage().c_str(), stderr);
        return 1;
    }
}
