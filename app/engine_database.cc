#include "app/engine_database.h"

namespace vaq::app {

EngineDatabase::EngineDatabase() : session_("Session1"), mainDatabase_(session_, "MainDB", "VAQ") {}

void EngineDatabase::open() {
    session_.open();
    mainDatabase_.open();
}

std::vector<std::string> EngineDatabase::standardAliases() {
    return session_.standard_alias_names();
}

DatabaseSeam makeEngineDatabaseSeam(std::shared_ptr<EngineDatabase> database) {
    DatabaseSeam seam;
    seam.openMainDatabase = [database] { database->open(); };
    seam.standardAliases = [database] { return database->standardAliases(); };
    // The table object Transaction arrives with the table objects of db/.
    seam.transaction_rows = [] { return std::shared_ptr<const window::RowSource>(); };
    seam.engine_version = VAQ_UTILITY_VERSION;
    return seam;
}

}  // namespace vaq::app
