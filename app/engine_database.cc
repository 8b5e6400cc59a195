#include "app/engine_database.h"

namespace vaq::app {

EngineDatabase::EngineDatabase() : session_("Session1"), mainDatabase_(session_, "MainDB", "VAQ") {}

void EngineDatabase::open() {
    session_.open();
    mainDatabase_.open();
}

std::vector<std::string> EngineDatabase::standard_aliases() {
    return session_.standard_alias_names();
}

DatabaseSeam make_engine_database_seam(std::shared_ptr<EngineDatabase> database) {
    DatabaseSeam seam;
    seam.open_main_database = [database] { database->open(); };
    seam.standard_aliases = [database] { return database->standard_aliases(); };
    // The table object Transaction arrives with the table objects of db/.
    seam.transaction_rows = [] { return std::shared_ptr<const window::RowSource>(); };
    seam.engine_version = VAQ_UTILITY_VERSION;
    return seam;
}

}  // namespace vaq::app
