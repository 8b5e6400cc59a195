#include "app/engine_database.h"

#include <cstring>

#include "engine/api/dbi.h"

namespace vaq::app {
namespace {

// The engine's list of databases, closed on every way out.
class DatabaseList {
  public:
    DatabaseList() { pdx::check(pdx::DbiOpenDatabaseList(&cursor_)); }
    // Reached with the list still open only when an error is already on its way.
    ~DatabaseList() {
        if (cursor_ != nullptr) pdx::DbiCloseCursor(&cursor_);
    }
    DatabaseList(const DatabaseList&) = delete;
    DatabaseList& operator=(const DatabaseList&) = delete;

    bool next(pdx::DBDesc& record) {
        const pdx::DBIResult result = pdx::DbiGetNextRecord(cursor_, pdx::dbiNOLOCK, &record);
        if (result == pdx::DBIERR_EOF) return false;
        pdx::check(result);
        return true;
    }
    void close() { pdx::check(pdx::DbiCloseCursor(&cursor_)); }

  private:
    pdx::hDBICur cursor_ = nullptr;
};

}  // namespace

EngineDatabase::EngineDatabase() : session_("Session1"), mainDatabase_(session_, "MainDB", "VAQ") {}

void EngineDatabase::open() {
    session_.open();
    mainDatabase_.open();
}

std::vector<std::string> EngineDatabase::standardAliases() {
    session_.open();
    std::vector<std::string> names;
    DatabaseList list;
    pdx::DBDesc record{};
    while (list.next(record)) {
        if (std::strcmp(record.szDbType, pdx::szSTANDARD) == 0) names.emplace_back(record.szName);
    }
    list.close();
    return names;
}

DatabaseSeam makeEngineDatabaseSeam(std::shared_ptr<EngineDatabase> database) {
    DatabaseSeam seam;
    seam.openMainDatabase = [database] { database->open(); };
    seam.standardAliases = [database] { return database->standardAliases(); };
    // The table object Transaction arrives with the table objects of db/.
    seam.transactionRows = [] { return std::shared_ptr<const window::RowSource>(); };
    seam.engineVersion = VAQ_UTILITY_VERSION;
    return seam;
}

}  // namespace vaq::app
