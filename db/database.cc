#include "db/database.h"

#include "common/error.h"
#include "db/session.h"
#include "engine/api/engine_error.h"

namespace vaq::db {

Database::Database(Session& session, std::string database_name, std::string alias_name)
    : session_(session),
      databaseName_(std::move(database_name)),
      aliasName_(std::move(alias_name)) {
    session_.attach(this);
}

Database::~Database() {
    // Closing a handle this object opened and still holds cannot fail.
    if (handle_ != nullptr) pdx::DbiCloseDatabase(&handle_);
    session_.detach(this);
}

void Database::set_alias_name(std::string alias_name) {
    if (connected()) throw Error("Cannot change the alias of an open database: " + databaseName_);
    aliasName_ = std::move(alias_name);
}

void Database::open() {
    if (connected()) return;
    session_.open();
    pdx::check(pdx::DbiOpenDatabase(aliasName_.c_str(), pdx::szSTANDARD, pdx::dbiREADWRITE,
                                    pdx::dbiOPENSHARED, &handle_));
}

void Database::close() {
    if (!connected()) return;
    const pdx::DBIResult result = pdx::DbiCloseDatabase(&handle_);
    handle_ = nullptr;
    pdx::check(result);
}

std::filesystem::path Database::directory() const {
    if (!connected()) throw Error("Database is not open: " + databaseName_);
    pdx::DBIPATH directory{};
    pdx::check(pdx::DbiGetDirectory(handle_, false, directory));
    return directory;
}

}  // namespace vaq::db
