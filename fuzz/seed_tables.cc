// Writes the seed inputs of the table targets: small table families made by the engine
// (levels 3 to 7, keyed and unkeyed, with blobs, secondary indexes, free blocks, emptied),
// each as one input of split_family's form. Usage: fuzz_seed_tables FOLDER

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "common/error.h"
#include "engine/sql/executor.h"
#include "fuzz/fuzz_support.h"

namespace {

namespace fs = std::filesystem;

struct Seed {
    const char* name;
    pdx::CreateOptions options;
    std::vector<std::string> statements;
};

std::string rows(const std::string& table, int count, const std::string& (*row)(int)) {
    std::string all;
    for (int i = 1; i <= count; ++i)
        all += (all.empty() ? "INSERT INTO " + table + " VALUES " : ", ") + row(i);
    return all;
}

const std::string& keyed_row(int i) {
    static std::string text;
    text = "(" + std::to_string(i % 40) + ", 'k" + std::to_string(i) + "', " +
           std::to_string(i * 7 % 100) + ", '" + std::to_string(i % 12 + 1) + "/" +
           std::to_string(i % 28 + 1) + "/2004', " +
           (i % 3 ? "'note " + std::to_string(i) + "'" : "'" + std::string(120, 'm') + "'") + ")";
    return text;
}

const std::string& plain_row(int i) {
    static std::string text;
    text = "('p" + std::to_string(i) + "', " + std::to_string(i) + ", " + std::to_string(i) +
           ".25, " + (i % 2 ? "true" : "false") + ", '" + std::to_string(i % 24) + ":30:15', '1/" +
           std::to_string(i % 28 + 1) + "/1999 08:00:00')";
    return text;
}

std::vector<Seed> seeds() {
    const std::string keyed =
        "CREATE TABLE T (A integer, B char(12), N integer, D date, M memo(15), "
        "PRIMARY KEY (A, B))";
    const std::string plain =
        "CREATE TABLE T (Name char(10), Num smallint, F float, L boolean, Tm time, Ts timestamp)";
    return {
        {"keyed-indexes-7",
         {7, 1024},
         {keyed, rows("T", 300, keyed_row), "CREATE INDEX ByN ON T (N)",
          "CREATE INDEX ByDay ON T (D, B)"}},
        {"keyed-after-deletes-7",
         {7, 1024},
         {keyed, rows("T", 200, keyed_row), "CREATE INDEX ByN ON T (N)",
          "DELETE FROM T WHERE N > 30", "UPDATE T SET B = 'changed' WHERE A = 3 AND B = 'k3'"}},
        {"keyed-emptied-7", {7, 1024}, {keyed, rows("T", 5, keyed_row), "DELETE FROM T"}},
        {"keyed-empty-5", {5, 2048}, {keyed}},
        {"unkeyed-5", {5, 1024}, {plain, rows("T", 120, plain_row)}},
        {"unkeyed-4", {4, 1024}, {plain, rows("T", 40, plain_row)}},
        {"keyed-3",
         {3, 1024},
         {"CREATE TABLE T (K char(6), V integer, PRIMARY KEY (K))",
          "INSERT INTO T VALUES ('a', 1), ('b', 2), ('c', 3), ('d', NULL)",
          "CREATE INDEX V ON T (V)"}},
    };
}

std::map<std::string, std::vector<std::uint8_t>> family_of(const fs::path& folder) {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        std::string extension = entry.path().extension().string().substr(1);
        for (char& c : extension)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        std::ifstream in(entry.path(), std::ios::binary);
        files[extension].assign(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
    }
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seed_tables FOLDER\n");
        return 2;
    }
    const fs::path out = argv[1];
    fs::create_directories(out);
    const vaq::fuzz::Scratch scratch;
    try {
        for (const Seed& seed : seeds()) {
            scratch.clear();
            pdx::sql::Executor executor(scratch.data(), seed.options);
            for (const std::string& statement : seed.statements)
                executor.execute(statement);
            const std::vector<std::uint8_t> bytes =
                vaq::fuzz::join_family(family_of(scratch.data()));
            std::ofstream(out / seed.name, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
        }
    } catch (const vaq::Error& error) {
        std::fprintf(stderr, "fuzz_seed_tables: %s\n", error.what());
        return 1;
    }
    return 0;
}
