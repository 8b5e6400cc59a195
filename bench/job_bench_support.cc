#include "bench/job_bench_support.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "engine/api/config.h"
#include "generator/database_generator.h"

namespace vaq::bench {

namespace fs = std::filesystem;

SiteOptions job_site_options(int staff, std::int64_t transactions) {
    SiteOptions site;
    site.controllers = 20;
    site.doorsPerController = 4;
    site.staff = staff;
    site.transactions = transactions;
    site.seed = 7;
    site.newerTables = NewerTables::kNone;
    return site;
}

void generate_job_database(const fs::path& folder, int staff, std::int64_t transactions) {
    const auto start = std::chrono::steady_clock::now();
    GeneratorOptions options;
    options.out = folder;
    options.replace = true;
    options.site = job_site_options(staff, transactions);
    generate_database(options);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("database: %d staff, %lld transactions, written in %.1f s\n", staff,
                static_cast<long long>(transactions), took.count());
    std::fflush(stdout);
}

std::int64_t write_import_file(const Site& site, const fs::path& file) {
    std::map<int, int> addressOf;
    for (const Controller& controller : site.controllers)
        addressOf[controller.controllerId] = controller.address;
    std::map<int, int> numberOf;
    for (const Door& door : site.doors)
        numberOf[door.doorId] = door.number;
    const auto two_digits = [](int value) {
        return (value < 10 ? "0" : "") + std::to_string(value);
    };

    std::ofstream out(file, std::ios::binary);
    TransactionStream stream(site);
    Transaction event;
    std::int64_t lines = 0;
    while (stream.next(event)) {
        out << two_digits(event.date.day) << '/' << two_digits(event.date.month) << '/'
            << event.date.year << ',' << two_digits(event.time.hour) << ':'
            << two_digits(event.time.minute) << ':' << two_digits(event.time.second) << ','
            << addressOf[event.controllerId] << ',' << numberOf[event.doorId] << ',' << event.cardId
            << ',' << event.eventId << "\r\n";
        ++lines;
    }
    return lines;
}

void use_alias_folder(const fs::path& folder) {
    pdx::use_configuration(pdx::Configuration::from_text(
        "[alias VAQ]\npath = " + folder.string() + "\n[engine]\nprivate_dir = private\n",
        folder.parent_path(), "benchmark"));
}

}  // namespace vaq::bench
