#include "engine/table/secondary_index.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <system_error>

#include "common/error.h"
#include "engine/format/file.h"
#include "engine/format/secondary_index_writer.h"
#include "engine/table/index_maintenance.h"
#include "engine/table/secondary_index_build.h"
#include "engine/table/secondary_index_maintainer.h"
#include "engine/table/table.h"
#include "engine/table/table_family.h"
#include "engine/table/table_lock.h"
#include "engine/table/table_name.h"
#include "engine/table/text_fold.h"

namespace pdx {

namespace fs = std::filesystem;

namespace {

std::mutex& generation_mutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, std::uint64_t>& generations() {
    static std::map<std::string, std::uint64_t> map;
    return map;
}

std::string generation_key(const fs::path& table_file) {
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(table_file, ec);
    return (ec ? table_file : canonical).string();
}

std::atomic<std::uint64_t>& all_changes() {
    static std::atomic<std::uint64_t> changes{0};
    return changes;
}

void note_indexes_changed(const fs::path& table_file) {
    std::lock_guard<std::mutex> lock(generation_mutex());
    ++generations()[generation_key(table_file)];
    ++all_changes();
}

[[noreturn]] void refuse(const Table& table, const std::string& name, const std::string& why) {
    throw vaq::Error("Index " + name + " on " + table.name() + " cannot be created: " + why + ".");
}

// The table open for writing: the same object, its lock made exclusive.
std::shared_ptr<Table> writable(Table& table) {
    if (table.writable()) return table.shared_from_this();
    return Table::open_file(table.path(), Access::kWrite);
}

std::vector<IndexedField> indexed_fields(const Table& table, const SecondaryIndexRequest& request) {
    if (request.fields.empty()) refuse(table, request.name, "it names no field");
    std::vector<IndexedField> fields;
    std::set<std::size_t> seen;
    for (const std::string& name : request.fields) {
        const Field& field = table.schema().field(name, table.name());
        if (!seen.insert(field.index).second)
            refuse(table, request.name, "it names field " + field.name + " twice");
        if (is_blob_type(field.type()))
            refuse(table, request.name,
                   "field " + field.name + " holds memo or blob values, which cannot be indexed");
        fields.push_back({static_cast<std::uint16_t>(field.index + 1), request.descending});
    }
    return fields;
}

// The lowest n for which the table has neither an .XGn nor a .YGn file.
unsigned free_composite_number(const Table& table) {
    for (unsigned n = 0;; ++n) {
        const std::string digits = std::to_string(n);
        if (!find_family_file(table.path(), ".XG" + digits) &&
            !find_family_file(table.path(), ".YG" + digits))
            return n;
    }
}

SecondaryIndexDefinition definition_for(const Table& table, const SecondaryIndexRequest& request) {
    const std::string& name = request.name;
    if (name.empty()) throw vaq::Error("An index of " + table.name() + " needs a name.");
    if (table.is_encrypted()) refuse(table, name, table.name() + " is protected by a password");
    for (const SecondaryIndex& index : list_secondary_indexes(table))
        if (equal_ignoring_case(index.name, name))
            throw vaq::Error("Index already exists: " + name + " on " + table.name());

    SecondaryIndexDefinition d;
    d.fields = indexed_fields(table, request);
    d.maintained = table.is_keyed();
    d.case_insensitive = request.case_insensitive;
    const Field& first = table.schema()[d.fields.front().table_field - 1u];
    const bool named_after_field = equal_ignoring_case(name, first.name);
    d.composite = !(d.fields.size() == 1 && !request.case_insensitive && !request.descending &&
                    named_after_field);
    if (d.composite) {
        if (auto field = table.schema().find(name))
            refuse(table, name,
                   "it would share the name of field " + table.schema()[*field].name +
                       ", which only a single-field, case-sensitive, ascending index on that "
                       "field may");
        if (!table.header().has_extension())
            refuse(table, name,
                   "a named, composite or case-insensitive index needs table level 4 or above");
        if (request.descending && table.header().level() < 7)
            refuse(table, name, "a descending index needs table level 7");
        const auto stored = table.codec().from_utf8(name);
        if (!stored || stored->find('\0') != std::string::npos)
            refuse(table, name, "its name cannot be written in the table's code page");
        d.stored_name = *stored;
        d.number = free_composite_number(table);
    }

    const IndexEntryLayout layout(table.header(), d);
    if (!index_block_sizes(table.header().block_size_code, layout.record_size(),
                           layout.key_width()))
        refuse(table, name,
               "its entries of " + std::to_string(layout.record_size()) +
                   " bytes are too wide for blocks of up to 32 KiB");
    return d;
}

// Files of the suffix left without their partner (a tree without its index, say): the new
// pair replaces them.
std::vector<fs::path> leftovers(const Table& table, const IndexSuffix& suffix) {
    std::vector<fs::path> files;
    for (const std::string& extension : {suffix.extension(), suffix.tree_extension()})
        if (auto path = find_family_file(table.path(), extension)) files.push_back(*path);
    return files;
}

// For each new field the old one it came from, turned around: old field -> new field.
std::map<std::size_t, std::size_t> new_field_of(const IndexRebuildRequest& request) {
    std::map<std::size_t, std::size_t> map;
    for (std::size_t j = 0; j < request.sources.size(); ++j)
        if (request.sources[j]) map.emplace(*request.sources[j], j);
    return map;
}

}  // namespace

void rebuild_restructured_indexes(const IndexRebuildRequest& request) {
    const std::map<std::size_t, std::size_t> moved = new_field_of(request);
    const std::shared_ptr<Table> table = Table::open_file(request.new_table_file, Access::kRead);
    const bool was_keyed = request.old_table.is_keyed();
    for (const SecondaryIndex& old : list_secondary_indexes(request.old_table)) {
        SecondaryIndexDefinition d = definition_of(old);
        bool survives = true;
        for (IndexedField& f : d.fields) {
            const auto it = moved.find(f.table_field - 1u);
            if (it == moved.end()) {
                survives = false;
                break;
            }
            f.table_field = static_cast<std::uint16_t>(it->second + 1);
        }
        if (!survives) continue;
        d.maintained = table->is_keyed() && (d.maintained || !was_keyed);
        const IndexSuffix suffix = d.suffix();
        write_secondary_index(
            *table, d, old.name,
            request.new_table_file.parent_path() / index_file_name(request.new_table_file, suffix),
            request.new_table_file.parent_path() / tree_file_name(request.new_table_file, suffix));
    }
}

std::uint64_t secondary_index_generation(const fs::path& table_file) {
    std::lock_guard<std::mutex> lock(generation_mutex());
    const auto it = generations().find(generation_key(table_file));
    return it == generations().end() ? 0 : it->second;
}

std::uint64_t secondary_index_changes() {
    return all_changes().load();
}

void install_secondary_index_writers() {
    set_index_maintainer_factory(
        [](Table& table) { return make_secondary_index_maintainer(table); });
    set_index_rebuilder(rebuild_restructured_indexes);
}

void create_secondary_index(Table& table, const SecondaryIndexRequest& request) {
    install_secondary_index_writers();
    const std::shared_ptr<Table> held = writable(table);
    const SecondaryIndexDefinition definition = definition_for(*held, request);
    const IndexSuffix suffix = definition.suffix();
    const fs::path directory = held->path().parent_path();
    {
        DirectoryLock lock = DirectoryLock::acquire(directory);
        StagedFamily staged(directory);
        write_secondary_index(*held, definition, request.name,
                              staged.path_of(index_file_name(held->path(), suffix)),
                              staged.path_of(tree_file_name(held->path(), suffix)));
        staged.commit(leftovers(*held, suffix));
    }
    note_indexes_changed(held->path());
}

void create_secondary_index(const fs::path& directory, std::string_view table_name,
                            const SecondaryIndexRequest& request) {
    install_secondary_index_writers();
    create_secondary_index(*Table::open(directory, table_name, Access::kWrite), request);
}

void delete_secondary_index(Table& table, std::string_view index_name) {
    install_secondary_index_writers();
    const std::shared_ptr<Table> held = writable(table);
    const SecondaryIndex index = find_secondary_index(*held, index_name);
    const fs::path directory = held->path().parent_path();
    {
        DirectoryLock lock = DirectoryLock::acquire(directory);
        // The index file goes first: a tree left alone by a crash names no index.
        std::error_code ec;
        if (!fs::remove(index.index_file, ec) || ec)
            throw vaq::Error("Cannot delete " + index.index_file.filename().string() + ": " +
                             (ec ? ec.message() : std::string("it is gone")) + ".");
        if (index.tree_file) fs::remove(*index.tree_file, ec);
        sync_directory(directory);
        if (ec)
            throw vaq::Error(
                "Index " + index.name + " on " + held->name() + " was deleted, but its tree file " +
                index.tree_file->filename().string() + " stays: " + ec.message() + ".");
    }
    note_indexes_changed(held->path());
}

void delete_secondary_index(const fs::path& directory, std::string_view table_name,
                            std::string_view index_name) {
    install_secondary_index_writers();
    delete_secondary_index(*Table::open(directory, table_name, Access::kWrite), index_name);
}

void rebuild_indexes(const Table& table, const std::vector<SecondaryIndex>& indexes) {
    const fs::path directory = table.path().parent_path();
    {
        DirectoryLock lock = DirectoryLock::acquire(directory);
        StagedFamily staged(directory);
        std::vector<fs::path> old_files;
        for (const SecondaryIndex& index : indexes) {
            const std::string tree = index.tree_file ? index.tree_file->filename().string()
                                                     : tree_file_name(table.path(), index.suffix);
            write_secondary_index(table, definition_of(index), index.name,
                                  staged.path_of(index.index_file.filename().string()),
                                  staged.path_of(tree));
            old_files.push_back(index.index_file);
            if (index.tree_file) old_files.push_back(*index.tree_file);
        }
        staged.commit(old_files);
    }
    note_indexes_changed(table.path());
}

}  // namespace pdx
