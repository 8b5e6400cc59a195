#include "generator/database_generator.h"

#include <cctype>
#include <charconv>
#include <functional>
#include <system_error>
#include <vector>

#include "common/error.h"
#include "common/text.h"
#include "generator/generator_tables.h"
#include "generator/generator_writer.h"

namespace vaq::bench {

namespace fs = std::filesystem;

namespace {

std::int64_t parse_number(std::string_view option, std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        throw Error("Option --" + std::string(option) + " needs a whole number, not '" +
                    std::string(text) + "'");
    }
    return value;
}

int parse_int(std::string_view option, std::string_view text) {
    const std::int64_t value = parse_number(option, text);
    if (value < -2'000'000'000 || value > 2'000'000'000) {
        throw Error("Option --" + std::string(option) + " is out of range: " + std::string(text));
    }
    return static_cast<int>(value);
}

NewerTables parse_newer_tables(std::string_view text) {
    const std::string word = ascii_lower(text);
    if (word == "none") return NewerTables::kNone;
    if (word == "some") return NewerTables::kSome;
    if (word == "all") return NewerTables::kAll;
    throw Error("Option --newer-tables takes none, some or all, not '" + std::string(text) + "'");
}

// Options that take a value, and where the value goes.
using Setter = std::function<void(GeneratorOptions&, std::string_view)>;

const std::vector<std::pair<std::string_view, Setter>>& value_options() {
    static const std::vector<std::pair<std::string_view, Setter>> kOptions = {
        {"controllers",
         [](GeneratorOptions& o, std::string_view v) {
             o.site.controllers = parse_int("controllers", v);
         }},
        {"doors-per-controller",
         [](GeneratorOptions& o, std::string_view v) {
             o.site.doorsPerController = parse_int("doors-per-controller", v);
         }},
        {"staff",
         [](GeneratorOptions& o, std::string_view v) { o.site.staff = parse_int("staff", v); }},
        {"transactions",
         [](GeneratorOptions& o, std::string_view v) {
             o.site.transactions = parse_number("transactions", v);
         }},
        {"seed",
         [](GeneratorOptions& o, std::string_view v) {
             o.site.seed = static_cast<std::uint64_t>(parse_number("seed", v));
         }},
        {"events",
         [](GeneratorOptions& o, std::string_view v) { o.site.events = parse_int("events", v); }},
        {"first-year", [](GeneratorOptions& o,
                          std::string_view v) { o.site.firstYear = parse_int("first-year", v); }},
        {"years",
         [](GeneratorOptions& o, std::string_view v) { o.site.years = parse_int("years", v); }},
        {"newer-tables", [](GeneratorOptions& o,
                            std::string_view v) { o.site.newerTables = parse_newer_tables(v); }},
        {"out", [](GeneratorOptions& o, std::string_view v) { o.out = fs::path(v); }},
    };
    return kOptions;
}

const Setter* find_value_option(std::string_view name) {
    for (const auto& [option, setter] : value_options()) {
        if (option == name) return &setter;
    }
    return nullptr;
}

bool is_paradox_file(const fs::path& file) {
    const std::string ext = ascii_lower(file.extension().string());
    if (ext == ".db" || ext == ".px" || ext == ".mb" || ext == ".val" || ext == ".tv" ||
        ext == ".fam") {
        return true;
    }
    // Secondary indexes: .Xnn, .Ynn, .XGn, .YGn
    return ext.size() == 4 && (ext[1] == 'x' || ext[1] == 'y') &&
           (std::isxdigit(static_cast<unsigned char>(ext[2])) || ext[2] == 'g') &&
           std::isxdigit(static_cast<unsigned char>(ext[3]));
}

std::vector<fs::path> paradox_files_in(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file() && is_paradox_file(entry.path())) files.push_back(entry.path());
    }
    return files;
}

void prepare_folder(const GeneratorOptions& options) {
    std::error_code error;
    fs::create_directories(options.out, error);
    if (error || !fs::is_directory(options.out)) {
        throw Error("Cannot create the folder " + options.out.string() + ": " +
                    (error ? error.message() : "a file of that name is in the way"));
    }
    const std::vector<fs::path> existing = paradox_files_in(options.out);
    if (existing.empty()) return;
    if (!options.replace) {
        throw Error("The folder " + options.out.string() + " holds tables already (" +
                    existing.front().filename().string() + "); give --replace to write over them");
    }
    for (const fs::path& file : existing)
        fs::remove(file);
}

}  // namespace

std::string generator_usage() {
    return "Usage: vaq-generate --out DIR [options]\n"
           "Writes a VAQ database of a version before the 3.2.1 layout into DIR.\n"
           "\n"
           "  --controllers N            controllers (default 4)\n"
           "  --doors-per-controller N   doors of each controller (default 2)\n"
           "  --staff N                  card holders (default 200)\n"
           "  --transactions N           card events (default 10000)\n"
           "  --events N                 event codes named in the events table (default 30)\n"
           "  --first-year Y --years N   the years the transactions span (default 2001, 5)\n"
           "  --newer-tables none|some|all\n"
           "                             tables of newer versions already present "
           "(default some)\n"
           "  --seed S                   the same seed writes the same database (default 1)\n"
           "  --replace                  remove the Paradox files in DIR first\n";
}

GeneratorOptions parse_generator_arguments(std::span<const std::string_view> arguments) {
    GeneratorOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            return options;
        }
        if (argument == "--replace") {
            options.replace = true;
            continue;
        }
        if (!argument.starts_with("--")) throw Error("Unknown argument: " + std::string(argument));
        argument.remove_prefix(2);
        std::string_view value;
        bool hasValue = false;
        if (const auto equals = argument.find('='); equals != std::string_view::npos) {
            value = argument.substr(equals + 1);
            argument = argument.substr(0, equals);
            hasValue = true;
        }
        const Setter* setter = find_value_option(argument);
        if (setter == nullptr) throw Error("Unknown option: --" + std::string(argument));
        if (!hasValue) {
            if (i + 1 == arguments.size()) {
                throw Error("Option --" + std::string(argument) + " needs a value");
            }
            value = arguments[++i];
        }
        (*setter)(options, value);
    }
    if (options.out.empty()) throw Error("Option --out is missing: name the folder to write");
    check_site_options(options.site);
    return options;
}

GeneratedDatabase generate_database(const GeneratorOptions& options) {
    const Site site = make_site(options.site);
    prepare_folder(options);
    GeneratedDatabase result{options.out, {}};

    for (const GeneratedTable& table : site_tables(site)) {
        TableWriter writer(options.out, table.def);
        for (const Row& row : table.rows)
            writer.append(row);
        result.rows[std::string(table.def.file)] = writer.finish();
    }

    TableWriter transactions(options.out, transact_table());
    TransactionStream stream(site);
    Transaction transaction;
    while (stream.next(transaction))
        transactions.append(transaction_row(transaction));
    result.rows[std::string(transact_table().file)] = transactions.finish();
    return result;
}

}  // namespace vaq::bench
