#include "engine/table/table_admin.h"

#include <ctime>
#include <set>

#include "common/error.h"
#include "common/text.h"
#include "engine/format/new_table.h"
#include "engine/format/text_codec.h"
#include "engine/table/blob_store.h"
#include "engine/table/open_tables.h"
#include "engine/table/table_family.h"
#include "engine/table/table_lock.h"
#include "engine/table/table_name.h"

namespace pdx {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxFields = 255;
constexpr std::size_t kMaxKeyFields = 16;

// The descriptor of a field, or an error naming it.
FieldDescriptor descriptor_of(const FieldSpec& f, std::string_view table) {
    const auto fail = [&](const std::string& what) {
        throw vaq::Error("Field " + f.name + " of " + std::string(table) + ": " + what + ".");
    };
    if (!is_known_field_type(static_cast<std::uint8_t>(f.type))) fail("its type is unknown");
    const int size = f.size;
    if (const auto fixed = fixed_field_width(f.type)) {
        if (size != 0 && static_cast<std::size_t>(size) != *fixed)
            fail("a field of this type is " + std::to_string(*fixed) + " bytes wide, not " +
                 std::to_string(size));
        return {f.type, static_cast<std::uint8_t>(*fixed)};
    }
    switch (f.type) {
        case FieldType::kAlpha:
        case FieldType::kBytes:
            if (size < 1 || size > 255) fail("its size must lie between 1 and 255");
            break;
        case FieldType::kBcd:
            if (size < 0 || size > 32) fail("its number of decimals must lie between 0 and 32");
            break;
        case FieldType::kMemo:
            if (size < 11 || size > 250)
                fail("its width in the record must lie between 11 and 250 (a leader of 1 to 240)");
            break;
        default:  // the other blob types
            if (size < 10 || size > 250)
                fail("its width in the record must lie between 10 and 250");
    }
    return {f.type, static_cast<std::uint8_t>(size)};
}

std::string with_extension(std::string_view name) {
    const std::string text(name);
    if (text.size() > 3 && same_file_name(text.substr(text.size() - 3), ".db")) return text;
    return text + ".DB";
}

std::string stem_of(std::string_view name) {
    return fs::path(with_extension(name)).stem().string();
}

}  // namespace

std::string table_busy_message(std::string_view table_name) {
    return "Table is busy: " + std::string(table_name) + ".";
}

int check_table_spec(const TableSpec& spec, const CreateOptions& options, std::string_view table) {
    const std::string name(table);
    if (spec.fields.empty()) throw vaq::Error("Table " + name + " needs at least one field.");
    if (spec.fields.size() > kMaxFields)
        throw vaq::Error("Table " + name + " has " + std::to_string(spec.fields.size()) +
                         " fields; a table holds at most 255.");
    if (options.level != 3 && options.level != 4 && options.level != 5 && options.level != 7)
        throw vaq::Error("The table level " + std::to_string(options.level) +
                         " is not 3, 4, 5 or 7.");
    if (options.block_size < 1024 || options.block_size > 32768 || options.block_size % 1024 != 0)
        throw vaq::Error("The block size " + std::to_string(options.block_size) +
                         " is not a multiple of 1024 between 1024 and 32768.");
    int level = options.level;
    std::set<std::string> names;
    std::size_t record = 0;
    int auto_increments = 0;
    for (const FieldSpec& f : spec.fields) {
        if (f.name.empty()) throw vaq::Error("A field of " + name + " has no name.");
        if (f.name.size() > kMaxFieldNameLength)
            throw vaq::Error("The field name " + f.name + " of " + name + " is longer than " +
                             std::to_string(kMaxFieldNameLength) + " characters.");
        if (f.name.find('\0') != std::string::npos)
            throw vaq::Error("The field name " + f.name + " of " + name + " holds a NUL.");
        if (!names.insert(vaq::ascii_lower(f.name)).second)
            throw vaq::Error("Field already exists: " + f.name + " in " + name + ".");
        const FieldDescriptor d = descriptor_of(f, name);
        record += d.width();
        level = std::max(level, field_type_min_level(f.type));
        if (f.type == FieldType::kAutoInc && ++auto_increments > 1)
            throw vaq::Error("Table " + name + " may have only one auto-increment field.");
    }
    if (level == 6) level = 7;
    const auto block = static_cast<std::size_t>(options.block_size);
    if (record + 6 > block)
        throw vaq::Error("A record of " + name + " (" + std::to_string(record) +
                         " bytes) does not fit in a block of " + std::to_string(block) + " bytes.");
    if (spec.key_fields > kMaxKeyFields)
        throw vaq::Error("The primary key of " + name + " has " + std::to_string(spec.key_fields) +
                         " fields; at most 16 are allowed.");
    if (spec.key_fields > spec.fields.size())
        throw vaq::Error("The primary key of " + name + " has more fields than the table.");
    std::size_t key = 0;
    for (std::size_t i = 0; i < spec.key_fields; ++i) {
        const FieldSpec& f = spec.fields[i];
        if (is_blob_type(f.type))
            throw vaq::Error("Field " + f.name + " of " + name +
                             " is a memo or blob field and cannot be part of the primary key.");
        key += descriptor_of(f, name).width();
    }
    // The primary index must hold at least three entries per block.
    if (spec.key_fields > 0 && (key + 6) * 3 > block - 6)
        throw vaq::Error("The primary key of " + name + " (" + std::to_string(key) +
                         " bytes) is too long for blocks of " + std::to_string(block) + " bytes.");
    return level;
}

TableHeader layout_table(const TableSpec& spec, int level, int block_size,
                         const TableLanguage& language, const std::string& file_name) {
    NewTableLayout layout;
    layout.key_fields = spec.key_fields;
    layout.file_version = file_version_of_level(level);
    layout.block_size = static_cast<std::size_t>(block_size);
    layout.sort_order = language.sort_order;
    layout.sort_order_id = language.sort_order_id;
    layout.code_page = language.code_page;
    layout.file_name = file_name;
    layout.created = static_cast<std::uint32_t>(std::time(nullptr));
    for (const FieldSpec& f : spec.fields)
        layout.fields.push_back({descriptor_of(f, file_name), std::string()});
    // Field names are stored in the table's code page, which the layout decides.
    const TextCodec codec(charset_of(new_table_header(layout)));
    for (std::size_t i = 0; i < spec.fields.size(); ++i) {
        const auto stored = codec.from_utf8(spec.fields[i].name);
        if (!stored)
            throw vaq::Error("The field name " + spec.fields[i].name + " of " + file_name +
                             " holds characters its code page cannot store.");
        layout.fields[i].stored_name = *stored;
    }
    return new_table_header(layout);
}

fs::path create_table(const fs::path& directory, std::string_view name, const TableSpec& spec,
                      const CreateOptions& options) {
    check_table_name(name);
    const std::string file_name = with_extension(name);
    const int level = check_table_spec(spec, options, file_name);
    const TableHeader header =
        layout_table(spec, level, options.block_size, TableLanguage{}, file_name);
    const std::string stem = stem_of(name);

    const DirectoryLock lock = DirectoryLock::acquire(directory);
    finish_family_changes(directory);
    if (find_table_file(directory, file_name))
        throw vaq::Error("Table already exists: " + file_name + ".");
    StagedFamily staged(directory);
    File::create(staged.path_of(file_name)).write_at(0, header.encode());
    if (spec.key_fields > 0) {
        const TableHeader index = new_primary_index_header(header, stem + ".PX");
        File::create(staged.path_of(stem + ".PX")).write_at(0, index.encode());
    }
    bool has_blobs = false;
    for (const FieldSpec& f : spec.fields)
        has_blobs = has_blobs || is_blob_type(f.type);
    if (has_blobs) create_blob_file(staged.path_of(stem + ".MB"));
    // Files of an earlier table of this name that were left behind would pass for members
    // of the new family.
    staged.commit(family_files(directory / file_name));
    return directory / file_name;
}

namespace {

// The table's path, with the checks every family change makes: the table exists, this
// process does not hold it open, no other process does.
fs::path table_for_family_change(const fs::path& directory, std::string_view name,
                                 TableLock& lock) {
    recover_family_changes(directory);
    const auto path = find_table_file(directory, name);
    if (!path) throw vaq::Error("Table does not exist: " + std::string(name) + ".");
    if (is_table_open(*path)) throw vaq::Error(table_busy_message(path->filename().string()));
    lock = TableLock::acquire(*path, TableLock::Mode::kExclusive);
    check_not_open_in_paradox(*path);
    return *path;
}

}  // namespace

void delete_table(const fs::path& directory, std::string_view name) {
    TableLock lock;
    const fs::path path = table_for_family_change(directory, name, lock);
    const DirectoryLock directory_lock = DirectoryLock::acquire(directory);
    delete_family(path);
}

fs::path rename_table(const fs::path& directory, std::string_view name, std::string_view new_name) {
    check_table_name(new_name);
    TableLock lock;
    const fs::path path = table_for_family_change(directory, name, lock);
    const DirectoryLock directory_lock = DirectoryLock::acquire(directory);
    // A new name given with its extension ("AntiPassBack.db") is the data file's name as
    // written; without one the data file keeps the extension it has.
    const std::string given(new_name);
    const bool has_extension =
        given.size() > 3 && same_file_name(given.substr(given.size() - 3), ".db");
    return rename_family(path, stem_of(new_name),
                         has_extension ? given.substr(given.size() - 3) : std::string());
}

}  // namespace pdx
