#include "engine/table/open_tables.h"

#include <sys/stat.h>

#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "engine/table/table.h"

namespace pdx {

namespace {

using FileId = std::pair<dev_t, ino_t>;

std::optional<FileId> file_id(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileId{st.st_dev, st.st_ino};
}

struct Registry {
    std::mutex mutex;
    std::map<FileId, std::weak_ptr<Table>> tables;
    std::map<const Table*, FileId> ids;
};

Registry& registry() {
    static Registry r;
    return r;
}

}  // namespace

std::shared_ptr<Table> find_open_table(const std::filesystem::path& path) {
    const auto id = file_id(path);
    if (!id) return nullptr;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto it = r.tables.find(*id);
    return it == r.tables.end() ? nullptr : it->second.lock();
}

void register_open_table(const std::shared_ptr<Table>& table) {
    const auto id = file_id(table->path());
    if (!id) return;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.tables[*id] = table;
    r.ids[table.get()] = *id;
}

void unregister_open_table(const Table& table) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto it = r.ids.find(&table);
    if (it == r.ids.end()) return;
    const auto entry = r.tables.find(it->second);
    if (entry != r.tables.end() && entry->second.expired()) r.tables.erase(entry);
    r.ids.erase(it);
}

bool is_table_open(const std::filesystem::path& path) {
    return find_open_table(path) != nullptr;
}

}  // namespace pdx
