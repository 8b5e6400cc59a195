#include "db/session.h"

#include <algorithm>
#include <cstring>

#include "common/text.h"
#include "db/database.h"
#include "engine/api/dbi.h"
#include "engine/api/engine_error.h"
#include "engine/api/tables.h"

namespace vaq::db {

namespace {

// Closes the list of databases on every way out.
class DatabaseList {
  public:
    DatabaseList() { pdx::check(pdx::DbiOpenDatabaseList(&cursor_)); }
    // Reached with an open cursor only when an error is already on its way; closing a list
    // cursor cannot fail otherwise, so its result adds nothing to that error.
    ~DatabaseList() {
        if (cursor_ != nullptr) pdx::DbiCloseCursor(&cursor_);
    }
    DatabaseList(const DatabaseList&) = delete;
    DatabaseList& operator=(const DatabaseList&) = delete;

    // False after the last record; any other failure is raised.
    bool next(pdx::DBDesc& desc) {
        const pdx::DBIResult result = pdx::DbiGetNextRecord(cursor_, pdx::dbiNOLOCK, &desc);
        if (result == pdx::DBIERR_EOF) return false;
        pdx::check(result);
        return true;
    }
    void close() { pdx::check(pdx::DbiCloseCursor(&cursor_)); }

  private:
    pdx::hDBICur cursor_ = nullptr;
};

// The alias names of the engine's list in its order; with `standardOnly` only those whose type
// is "STANDARD" exactly.
std::vector<std::string> list_aliases(bool standardOnly) {
    std::vector<std::string> names;
    DatabaseList list;
    pdx::DBDesc desc{};
    while (list.next(desc)) {
        if (!standardOnly || std::strcmp(desc.szDbType, pdx::szSTANDARD) == 0)
            names.emplace_back(desc.szName);
    }
    list.close();
    return names;
}

}  // namespace

Session::Session(std::string name) : name_(std::move(name)) {}

Session::~Session() = default;

void Session::set_active(bool active) {
    if (active == active_) return;
    if (active) {
        pdx::check(pdx::DbiInit());
    } else {
        for (Database* database : databases_)
            database->close();
    }
    active_ = active;
}

std::vector<std::string> Session::alias_names() {
    open();
    return list_aliases(false);
}

std::vector<std::string> Session::standard_alias_names() {
    open();
    return list_aliases(true);
}

void Session::get_alias_names(std::vector<std::string>& list) {
    list.clear();
    list = alias_names();
}

std::vector<std::string> Session::table_names(std::string_view database_name,
                                              std::string_view pattern, bool extensions,
                                              bool systemTables) {
    open();
    if (const Database* database = find_database(database_name))
        return pdx::list_tables(database->directory(), pattern, extensions, systemTables);
    return pdx::list_alias_tables(database_name, pattern, extensions, systemTables);
}

void Session::get_table_names(std::string_view database_name, std::string_view pattern,
                              bool extensions, bool systemTables, std::vector<std::string>& list) {
    list.clear();
    list = table_names(database_name, pattern, extensions, systemTables);
}

std::filesystem::path Session::alias_directory(std::string_view alias_name) {
    open();
    pdx::DBDesc desc{};
    pdx::check(pdx::DbiGetDatabaseDesc(std::string(alias_name).c_str(), &desc));
    return desc.szPhyName;
}

Database* Session::find_database(std::string_view database_name) const {
    for (Database* database : databases_)
        if (database->connected() && iequals(database->database_name(), database_name))
            return database;
    return nullptr;
}

void Session::attach(Database* database) {
    databases_.push_back(database);
}

void Session::detach(Database* database) {
    std::erase(databases_, database);
}

Session& default_session() {
    static Session session("Default");
    return session;
}

}  // namespace vaq::db
