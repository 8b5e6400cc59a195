#include "engine/table/index_catalog.h"

#include <algorithm>
#include <map>
#include <system_error>

#include "common/error.h"
#include "engine/format/block_file.h"
#include "engine/format/format_error.h"
#include "engine/table/table.h"
#include "engine/table/table_name.h"
#include "engine/table/text_fold.h"

namespace pdx {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void does_not_fit(const BlockFile& file, const Table& table, const std::string& what) {
    throw FormatError(file.name() + " is damaged: " + what + " of " + table.name() + ".");
}

// The X files of the table's family, keyed by their upper-case suffix.
std::map<std::string, std::pair<IndexSuffix, fs::path>> find_index_files(const Table& table) {
    std::map<std::string, std::pair<IndexSuffix, fs::path>> found;
    const std::string stem = table.path().stem().string();
    std::error_code ec;
    fs::directory_iterator it(table.path().parent_path(), ec);
    if (ec)
        throw vaq::Error("Cannot read the directory of " + table.name() + ": " + ec.message() +
                         ".");
    for (const fs::directory_entry& entry : it) {
        const fs::path& path = entry.path();
        if (!same_file_name(path.stem().string(), stem)) continue;
        auto suffix = IndexSuffix::parse(path.extension().string());
        if (!suffix || !entry.is_regular_file(ec)) continue;
        auto [at, inserted] = found.emplace(suffix->text, std::make_pair(*suffix, path));
        if (!inserted)
            throw vaq::Error("The index files " + at->second.second.filename().string() + " and " +
                             path.filename().string() + " of " + table.name() +
                             " differ only in letter case.");
    }
    return found;
}

// The fields the X file names must be fields of the table with the same type and size, and
// a maintained index must carry the table's primary key after them.
std::vector<std::size_t> check_fields(const Table& table, const BlockFile& x,
                                      const SecondaryIndexLayout& layout) {
    const Schema& schema = table.schema();
    const TableHeader& h = x.header();
    std::vector<std::size_t> fields;
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
        const std::size_t number = layout.fields[i].table_field;
        if (number == 0 || number > schema.size())
            does_not_fit(x, table,
                         "it indexes field " + std::to_string(number) + ", beyond the " +
                             std::to_string(schema.size()) + " fields");
        const Field& field = schema[number - 1];
        if (h.fields[i].descriptor != field.descriptor)
            does_not_fit(x, table,
                         "its field " + std::to_string(i + 1) +
                             " differs in type or size from field " + field.name);
        fields.push_back(number - 1);
    }
    if (layout.maintained) {
        for (std::size_t k = 0; k < schema.key_fields(); ++k)
            if (h.fields[layout.fields.size() + k].descriptor != schema[k].descriptor)
                does_not_fit(x, table,
                             "its copy of key field " + schema[k].name +
                                 " differs in type or size from the key");
    }
    return fields;
}

SecondaryIndex read_index(const Table& table, const IndexSuffix& suffix, const fs::path& path) {
    const BlockFile x = BlockFile::open(path);
    SecondaryIndex index;
    index.layout = SecondaryIndexLayout::decode(x.header(), table.schema().key_fields(), x.name());
    if (index.layout.composite != suffix.composite)
        x.fail(std::string("its header is one of ") +
               (index.layout.composite ? "a composite" : "a single-field") +
               " index, its name says otherwise");
    if (!suffix.composite &&
        (index.layout.fields.size() != 1 || index.layout.fields[0].table_field != suffix.number))
        x.fail("its name says it indexes field " + std::to_string(suffix.number) +
               " alone, its header says otherwise");
    index.fields = check_fields(table, x, index.layout);
    index.name = suffix.composite ? table.codec().to_utf8(index.layout.stored_name)
                                  : table.schema()[index.fields[0]].name;
    if (index.name.empty()) x.fail("its index name is empty");
    index.suffix = suffix;
    index.index_file = path;
    index.tree_file = find_family_file(table.path(), suffix.tree_extension());
    index.entries = x.header().num_records;
    index.stale = !index.layout.maintained && index.entries != table.record_count();
    return index;
}

bool listed_before(const SecondaryIndex& a, const SecondaryIndex& b) {
    if (a.suffix.composite != b.suffix.composite) return !a.suffix.composite;
    return a.suffix.number < b.suffix.number;
}

}  // namespace

std::vector<SecondaryIndex> list_secondary_indexes(const Table& table) {
    std::vector<SecondaryIndex> indexes;
    for (const auto& [text, file] : find_index_files(table))
        indexes.push_back(read_index(table, file.first, file.second));
    std::sort(indexes.begin(), indexes.end(), listed_before);
    return indexes;
}

SecondaryIndex find_secondary_index(const Table& table, std::string_view name) {
    for (SecondaryIndex& index : list_secondary_indexes(table))
        if (equal_ignoring_case(index.name, name)) return std::move(index);
    throw vaq::Error("Index does not exist: " + std::string(name) + " on " + table.name());
}

std::optional<fs::path> primary_index_file(const Table& table) {
    if (!table.is_keyed()) return std::nullopt;
    return find_family_file(table.path(), ".PX");
}

}  // namespace pdx
