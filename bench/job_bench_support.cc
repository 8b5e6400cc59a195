#include "bench/job_bench_support.h"

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "bench/database_generator.h"
#include "engine/api/config.h"

namespace vaq::bench {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(std::string_view prefix) {
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

SiteOptions jobSiteOptions(int staff, std::int64_t transactions) {
    SiteOptions site;
    site.controllers = 20;
    site.doorsPerController = 4;
    site.staff = staff;
    site.transactions = transactions;
    site.seed = 7;
    site.newerTables = NewerTables::None;
    return site;
}

void generateJobDatabase(const fs::path& folder, int staff, std::int64_t transactions) {
    const auto start = std::chrono::steady_clock::now();
    GeneratorOptions options;
    options.out = folder;
    options.replace = true;
    options.site = jobSiteOptions(staff, transactions);
    generateDatabase(options);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("database: %d staff, %lld transactions, written in %.1f s\n", staff,
                static_cast<long long>(transactions), took.count());
    std::fflush(stdout);
}

void copyDatabase(const fs::path& from, const fs::path& to) {
    fs::create_directories(to);
    for (const auto& entry : fs::directory_iterator(to))
        fs::remove_all(entry.path());
    for (const auto& entry : fs::directory_iterator(from))
        if (entry.is_regular_file()) fs::copy_file(entry.path(), to / entry.path().filename());
}

void useAliasFolder(const fs::path& folder) {
    pdx::useConfiguration(pdx::Configuration::fromText(
        "[alias VAQ]\npath = " + folder.string() + "\n", folder.parent_path(), "benchmark"));
}

std::int64_t takeFlag(int& argc, char** argv, std::string_view name, std::int64_t fallback) {
    const std::string prefix = "--" + std::string(name) + "=";
    std::int64_t value = fallback;
    int out = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0)
            value = std::stoll(argv[i] + prefix.size());
        else
            argv[out++] = argv[i];
    }
    argc = out;
    return value;
}

}  // namespace vaq::bench
