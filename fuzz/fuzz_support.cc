#include "fuzz/fuzz_support.h"

#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

#include "common/error.h"
#include "engine/api/config.h"
#include "engine/sql/executor.h"
#include "engine/table/cursor.h"
#include "engine/table/index_catalog.h"
#include "engine/table/index_cursor.h"
#include "engine/table/table.h"
#include "tutil/verifier.h"

namespace vaq::fuzz {

namespace fs = std::filesystem;

Scratch::Scratch() {
    std::string pattern = (fs::temp_directory_path() / "vaq-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) broken("cannot make a scratch folder");
    root_ = pattern;
    fs::create_directory(data());
    fs::create_directory(root_ / "private");
    pdx::use_configuration(pdx::Configuration::from_text(
        "[engine]\nprivate_dir = private\n[alias FUZZ]\npath = data\n", root_, "fuzz"));
}

Scratch::~Scratch() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

void Scratch::clear() const {
    for (const fs::path& folder : {data(), root_ / "private"}) {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
        fs::create_directory(folder);
    }
}

std::map<std::string, std::vector<std::uint8_t>> split_family(const std::uint8_t* data,
                                                              std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::map<std::string, std::vector<std::uint8_t>> files;
    std::string extension = "DB";
    std::size_t start = 0;
    for (;;) {
        const std::size_t marker = text.find(kFileMarker, start);
        const std::string_view part = text.substr(start, marker - start);
        files[extension].assign(part.begin(), part.end());
        if (marker == std::string_view::npos) break;
        const std::size_t name_at = marker + kFileMarker.size();
        const std::size_t line_end = text.find('\n', name_at);
        if (line_end == std::string_view::npos) break;
        extension = std::string(text.substr(name_at, line_end - name_at));
        start = line_end + 1;
    }
    return files;
}

std::vector<std::uint8_t> join_family(
    const std::map<std::string, std::vector<std::uint8_t>>& files) {
    std::vector<std::uint8_t> out;
    if (auto db = files.find("DB"); db != files.end()) out = db->second;
    for (const auto& [extension, bytes] : files) {
        if (extension == "DB") continue;
        const std::string marker = std::string(kFileMarker) + extension + "\n";
        out.insert(out.end(), marker.begin(), marker.end());
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

namespace {

// The companions a table family may have: .PX, .MB, .VAL, .Xnn/.Ynn, .XGn/.YGn.
bool is_companion(const std::string& extension) {
    if (extension == "PX" || extension == "MB" || extension == "VAL") return true;
    if (extension.size() != 3 || (extension[0] != 'X' && extension[0] != 'Y')) return false;
    const auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); };
    return (extension[1] == 'G' && hex(extension[2])) || (hex(extension[1]) && hex(extension[2]));
}

void write_bytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) broken("cannot write " + path.string());
}

std::size_t read_all(pdx::Cursor& cursor, const pdx::Table& table) {
    std::size_t records = 0;
    for (; !cursor.eof(); cursor.next()) {
        for (std::size_t i = 0; i < table.schema().size(); ++i)
            (void)cursor.value(i).as_text();
        ++records;
    }
    return records;
}

}  // namespace

fs::path write_family(const fs::path& folder, std::string_view stem,
                      const std::map<std::string, std::vector<std::uint8_t>>& files) {
    const fs::path db = folder / (std::string(stem) + ".DB");
    for (const auto& [extension, bytes] : files) {
        if (extension == "DB")
            write_bytes(db, bytes);
        else if (is_companion(extension))
            write_bytes(folder / (std::string(stem) + "." + extension), bytes);
    }
    return db;
}

std::size_t read_every_order(const pdx::Table& table) {
    const std::size_t records = read_all(*table.open_cursor(), table);
    // Every order visits every record once; an order that cannot be walked says so.
    const auto same_count = [&](std::size_t walked, const std::string& order) {
        if (walked != records)
            broken(order + " order visits " + std::to_string(walked) + " records, table order " +
                   std::to_string(records));
    };
    try {
        if (table.is_keyed()) same_count(read_all(*pdx::open_primary_cursor(table), table), "key");
    } catch (const vaq::Error&) {
    }
    std::vector<pdx::SecondaryIndex> indexes;
    try {
        indexes = pdx::list_secondary_indexes(table);
    } catch (const vaq::Error&) {
    }
    for (const pdx::SecondaryIndex& index : indexes) {
        try {
            same_count(read_all(*pdx::open_index_cursor(table, index), table),
                       "index " + index.name);
        } catch (const vaq::Error&) {
        }
    }
    return records;
}

std::size_t slots_of(const std::vector<std::uint8_t>& db) {
    if (db.size() < 6) return 0;
    const std::size_t record_size = db[0] | std::size_t{db[1]} << 8;
    const std::size_t header_size = db[2] | std::size_t{db[3]} << 8;
    const std::size_t block_size = std::size_t{db[5]} * 1024;
    if (record_size == 0 || block_size <= 6 || db.size() <= header_size) return 0;
    const std::size_t blocks = (db.size() - header_size + block_size - 1) / block_size;
    return blocks * ((block_size - 6) / record_size);
}

FolderImage take_image(const fs::path& folder) {
    FolderImage image;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        image[entry.path().filename().string()].assign(std::istreambuf_iterator<char>(in),
                                                       std::istreambuf_iterator<char>());
    }
    return image;
}

void restore_image(const fs::path& folder, const FolderImage& image) {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    fs::create_directory(folder);
    for (const auto& [name, bytes] : image)
        write_bytes(folder / name, bytes);
}

FolderImage image_after(const fs::path& folder, const std::vector<std::string>& statements) {
    pdx::sql::Executor executor(folder);
    for (const std::string& statement : statements)
        executor.execute(statement);
    return take_image(folder);
}

void expect_sound_table(const fs::path& folder, std::string_view table, std::string_view after) {
    const std::string context = std::string(table) + " after " + std::string(after);
    fs::path path;
    try {
        const auto opened = pdx::Table::open(folder, table);
        path = opened->path();
        read_every_order(*opened);
    } catch (const vaq::Error& error) {
        broken(context + " cannot be read: " + error.what());
    }
    const vaq::tutil::Verification verification = vaq::tutil::verify_table(path);
    if (verification.level != 0) {
        std::string findings;
        for (const vaq::tutil::Finding& finding : verification.findings.entries())
            findings += "\n  " + finding.message;
        broken(context + " verifies at level " + std::to_string(verification.level) + ":" +
               findings);
    }
}

void broken(const std::string& what) {
    std::fprintf(stderr, "broken promise: %s\n", what.c_str());
    std::abort();
}

}  // namespace vaq::fuzz
