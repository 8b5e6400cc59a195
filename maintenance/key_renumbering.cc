#include "maintenance/key_renumbering.h"

#include <map>
#include <memory>
#include <optional>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/error.h"
#include "db/schema.h"
#include "engine/api/private_folders.h"
#include "engine/format/field_type.h"
#include "engine/sql/executor.h"
#include "engine/table/cursor.h"
#include "engine/table/index_cursor.h"
#include "engine/table/open_tables.h"
#include "engine/table/record_editor.h"
#include "engine/table/table.h"
#include "engine/table/table_admin.h"
#include "engine/table/table_family.h"
#include "engine/table/table_lock.h"
#include "engine/table/table_name.h"
#include "maintenance/maintenance_form.h"

namespace vaq::maintenance {

namespace fs = std::filesystem;

namespace {

// The subject of the run folders in the private directory.
// Begins with a dot: no table is named so, so a table's folder never meets it.
constexpr std::string_view kJobFolder = ".rearrange";

// A table taking part in the change, held exclusively from the first copy to the swap.
struct Member {
    std::string fileName;  // as found in the directory ("Transact.db")
    std::vector<fs::path> family;
    pdx::TableLock lock;
    std::vector<std::string> referringColumns;  // its columns that name records of the table
};

Member claim(const fs::path& directory, std::string_view name) {
    const std::optional<fs::path> file = pdx::find_table_file(directory, name);
    if (!file) throw Error("Table does not exist: " + std::string(name) + ".");
    const std::string fileName = file->filename().string();
    if (pdx::is_table_open(*file)) throw Error(pdx::table_busy_message(fileName));
    Member member;
    member.lock = pdx::TableLock::acquire(*file, pdx::TableLock::Mode::kExclusive);
    pdx::check_not_open_in_paradox(*file);
    member.fileName = fileName;
    member.family = pdx::family_files(*file);
    return member;
}

void copy_family(const Member& member, const fs::path& to) {
    for (const fs::path& file : member.family) {
        std::error_code error;
        fs::copy_file(file, to / file.filename(), fs::copy_options::overwrite_existing, error);
        if (error)
            throw Error("Cannot copy " + file.filename().string() + " to " + to.string() + ": " +
                        error.message() + ".");
    }
}

// The tables whose columns name records of `table` by `key`, with those columns, as the
// schema lists them and as far as the directory has them.
std::map<std::string, std::vector<std::string>> referring_tables(const fs::path& directory,
                                                                 std::string_view table,
                                                                 std::string_view key) {
    std::map<std::string, std::vector<std::string>> found;
    for (const db::schema::ColumnRef& reference : db::schema::references_to(table, key)) {
        const std::optional<fs::path> file = pdx::find_table_file(directory, reference.table);
        if (!file) continue;
        found[file->filename().string()].emplace_back(reference.column);
    }
    return found;
}

bool same_value(const pdx::Value& a, const pdx::Value& b) {
    if (pdx::is_blob_type(a.type()) || pdx::is_blob_type(b.type())) {
        if (a.type() != b.type()) return false;
        return a.blob() == b.blob();
    }
    if (a.type() != b.type()) return a.as_text() == b.as_text();
    const pdx::Bytes x = a.raw();
    const pdx::Bytes y = b.raw();
    return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin());
}

// Old key (as text) to new key (as text), read from the table before and after the
// statements. Both are walked in their order; the statements keep every other field of
// every record and its place, which is checked record by record: a table that came out any
// other way is not trusted to say which new number a record got. A key value that several
// records had goes to the first of them, the one a lookup found.
std::unordered_map<std::string, std::string> new_numbers(const pdx::Table& before,
                                                         const pdx::Table& after,
                                                         std::string_view key) {
    const std::optional<std::size_t> oldKey = before.schema().find(key);
    const std::optional<std::size_t> newKey = after.schema().find(key);
    if (!oldKey || !newKey)
        throw Error("Field not found: " + std::string(key) + " in " + after.name() + ".");
    // The other fields of the old table and where each is now.
    std::vector<std::pair<std::size_t, std::size_t>> kept;
    for (const pdx::Field& field : before.schema().fields()) {
        if (field.index == *oldKey) continue;
        const std::optional<std::size_t> now = after.schema().find(field.name);
        if (!now)
            throw Error("The renumbered " + after.name() + " lost its field " + field.name + ".");
        kept.emplace_back(field.index, *now);
    }
    if (before.record_count() != after.record_count())
        throw Error("The renumbered " + after.name() + " has " +
                    std::to_string(after.record_count()) + " records instead of " +
                    std::to_string(before.record_count()) + ".");

    std::unordered_map<std::string, std::string> numbers;
    numbers.reserve(before.record_count());
    const std::unique_ptr<pdx::Cursor> was = pdx::open_primary_cursor(before);
    const std::unique_ptr<pdx::Cursor> is = pdx::open_primary_cursor(after);
    for (was->first(), is->first(); !was->eof() && !is->eof(); was->next(), is->next()) {
        for (const auto& [oldIndex, newIndex] : kept)
            if (!same_value(was->value(oldIndex), is->value(newIndex)))
                throw Error("The renumbered " + after.name() + " does not keep record " +
                            std::to_string(was->record_number()) +
                            " in its place; no reference was changed.");
        const pdx::Value old = was->value(*oldKey);
        if (old.is_null()) continue;
        numbers.emplace(old.as_text(), is->value(*newKey).as_text());
    }
    return numbers;
}

// Gives every reference in the table's columns the new number of the record it names.
std::uint64_t repoint(const fs::path& folder, const std::string& table_file,
                      const std::vector<std::string>& columns,
                      const std::unordered_map<std::string, std::string>& numbers) {
    const std::shared_ptr<pdx::Table> table =
        pdx::Table::open(folder, table_file, pdx::Access::kWrite);
    std::vector<std::size_t> indexes;
    for (const std::string& column : columns) {
        const std::optional<std::size_t> index = table->schema().find(column);
        if (!index) continue;  // an older layout without the column refers to nothing
        if (*index < table->schema().key_fields())
            throw Error("The field " + column + " of " + table->name() +
                        " is part of its key; its references cannot follow a renumbering.");
        indexes.push_back(*index);
    }
    if (indexes.empty()) return 0;
    std::uint64_t changed = 0;
    const std::unique_ptr<pdx::Cursor> cursor = pdx::open_primary_cursor(*table);
    pdx::RecordEditor editor(table, *cursor);
    for (cursor->first(); !cursor->eof(); cursor->next()) {
        std::vector<std::pair<std::size_t, std::string>> updates;
        for (const std::size_t index : indexes) {
            const pdx::Value value = cursor->value(index);
            if (value.is_null()) continue;
            const std::string old = value.as_text();
            const auto found = numbers.find(old);
            if (found != numbers.end() && found->second != old)
                updates.emplace_back(index, found->second);
        }
        if (updates.empty()) continue;
        editor.edit();
        for (auto& [index, number] : updates)
            editor.set_field(index, pdx::FieldInput(std::move(number)));
        editor.post();
        changed += updates.size();
    }
    editor.save_changes();
    return changed;
}

// A table must never be swapped in without its key column.
void require_key_column(const fs::path& folder, const std::string& table_file,
                        std::string_view key) {
    const auto table = pdx::Table::open(folder, table_file);
    if (!table->schema().find(key))
        throw Error("After the renumbering " + table_file + " has no key field " +
                    std::string(key) + "; nothing was changed.");
}

// Moves the tables worked on into the staging folder. What the engine leaves beside tables
// it worked on (dot files and folders of its own changes) is not part of any table and is
// not swapped in.
void move_tables(const fs::path& work, const fs::path& staging) {
    for (const fs::directory_entry& entry : fs::directory_iterator(work)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(".")) continue;
        fs::rename(entry.path(), staging / name);
    }
    fs::remove_all(work);
}

// Removes the run folder unless the change went in.
class KeptCopy {
  public:
    explicit KeptCopy(fs::path folder) : folder_(std::move(folder)) {}
    ~KeptCopy() {
        if (folder_.empty()) return;
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    KeptCopy(const KeptCopy&) = delete;
    KeptCopy& operator=(const KeptCopy&) = delete;

    const fs::path& folder() const { return folder_; }
    fs::path keep() { return std::exchange(folder_, {}); }

  private:
    fs::path folder_;
};

}  // namespace

void run_engine_statement(const fs::path& directory, const std::string& statement) {
    pdx::sql::Executor(directory).execute(statement);
}

RenumberedKey renumber_key(const fs::path& directory, std::string_view table, std::string_view key,
                           const StatementRunner& run,
                           const std::function<void()>& betweenStatements) {
    pdx::check_table_name(table);
    pdx::recover_family_changes(directory);

    std::vector<Member> members;
    members.push_back(claim(directory, table));
    const std::string table_file = members.front().fileName;
    for (auto& [file, columns] : referring_tables(directory, table_file, key)) {
        Member* member = nullptr;
        for (Member& known : members)
            if (known.fileName == file) member = &known;
        if (member == nullptr) member = &members.emplace_back(claim(directory, file));
        member->referringColumns = columns;
    }

    KeptCopy kept(pdx::make_run_folder(directory, kJobFolder));
    // The copies are worked on in a folder inside the staging folder: the engine locks the
    // directory it changes tables in, and the staging folder is locked while it is built.
    // A crash before the swap leaves the staging folder behind, which the engine removes.
    pdx::StagedFamily staged(directory);
    const fs::path work = staged.folder() / "work";
    fs::create_directory(work);
    for (const Member& member : members) {
        copy_family(member, kept.folder());
        copy_family(member, work);
    }

    run(work, drop_key_statement(table, key));
    if (betweenStatements) betweenStatements();
    run(work, add_key_statement(table, key));
    require_key_column(work, table_file, key);

    RenumberedKey result;
    bool anyReferences = false;
    for (const Member& member : members)
        anyReferences = anyReferences || !member.referringColumns.empty();
    if (anyReferences) {
        std::unordered_map<std::string, std::string> numbers;
        {
            const auto before = pdx::Table::open(kept.folder(), table_file);
            const auto after = pdx::Table::open(work, table_file);
            numbers = new_numbers(*before, *after, key);
        }
        for (const Member& member : members)
            if (!member.referringColumns.empty())
                result.referencesChanged +=
                    repoint(work, member.fileName, member.referringColumns, numbers);
    }
    move_tables(work, staged.folder());

    std::vector<fs::path> oldFamilies;
    for (const Member& member : members)
        oldFamilies.insert(oldFamilies.end(), member.family.begin(), member.family.end());
    // From here on the copy stays: should the swap stop halfway, the engine finishes it
    // when the directory is next used, and the copy is the way back.
    result.keptCopy = kept.keep();
    const pdx::DirectoryLock lock = pdx::DirectoryLock::acquire(directory);
    staged.commit(oldFamilies);
    return result;
}

}  // namespace vaq::maintenance
