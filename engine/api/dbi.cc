#include "engine/api/dbi.h"

#include <cstring>
#include <string>
#include <vector>

#include "common/text.h"
#include "engine/api/config.h"
#include "engine/api/cursor.h"

namespace pdx {

namespace {

// Copies text into a fixed field, NUL-terminated; refuses text that does not fit rather
// than cutting a name or a path short.
template <std::size_t N>
void copy_field(char (&field)[N], const std::string& text, const char* what) {
    if (text.size() >= N)
        throw EngineError(DBIERR_INVALIDPARAM, std::string(what) + " is longer than " +
                                                   std::to_string(N - 1) + " characters: " + text);
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), text.size());
}

DBDesc describe(const Alias& alias) {
    DBDesc desc{};
    copy_field(desc.szName, alias.name, "Alias name");
    copy_field(desc.szText, std::string(), "Alias description");
    copy_field(desc.szPhyName, alias.path.string(), "Alias directory");
    copy_field(desc.szDbType, alias.type, "Alias type");
    return desc;
}

// The list of databases: a snapshot of the aliases when it was opened.
class DatabaseListCursor : public DbiCursor {
  public:
    explicit DatabaseListCursor(std::vector<DBDesc> entries) : entries_(std::move(entries)) {}

    bool next_record(void* recordBuffer) override {
        if (next_ >= entries_.size()) return false;
        std::memcpy(recordBuffer, &entries_[next_++], sizeof(DBDesc));
        return true;
    }

  private:
    std::vector<DBDesc> entries_;
    std::size_t next_ = 0;
};

DBIResult null_argument(const char* function, const char* argument) {
    return record_failure(DBIERR_INVALIDPARAM,
                          std::string(function) + ": " + argument + " must not be null");
}

DBIResult not_open(const char* function, const char* what) {
    return record_failure(DBIERR_INVALIDHNDL,
                          std::string(function) + ": the " + what + " is not open");
}

}  // namespace

DBIResult DbiInit() {
    try {
        current_configuration();
        return DBIERR_NONE;
    } catch (...) {
        return record_current_exception();
    }
}

DBIResult DbiOpenDatabaseList(hDBICur* phCur) {
    if (phCur == nullptr) return null_argument("DbiOpenDatabaseList", "the cursor address");
    *phCur = nullptr;
    try {
        std::vector<DBDesc> entries;
        for (const Alias& alias : current_configuration()->aliases())
            entries.push_back(describe(alias));
        *phCur = register_cursor(std::make_unique<DatabaseListCursor>(std::move(entries)));
        return DBIERR_NONE;
    } catch (...) {
        return record_current_exception();
    }
}

DBIResult DbiGetNextRecord(hDBICur hCursor, DBILockType /*eLock*/, void* pRecBuff) {
    if (!is_open_cursor(hCursor)) return not_open("DbiGetNextRecord", "cursor");
    if (pRecBuff == nullptr) return null_argument("DbiGetNextRecord", "the record buffer");
    try {
        if (!hCursor->next_record(pRecBuff)) return record_failure(DBIERR_EOF, "At end of table");
        return DBIERR_NONE;
    } catch (...) {
        return record_current_exception();
    }
}

DBIResult DbiCloseCursor(hDBICur* phCursor) {
    if (phCursor == nullptr) return null_argument("DbiCloseCursor", "the cursor address");
    auto cursor = release_cursor(*phCursor);
    if (!cursor) return not_open("DbiCloseCursor", "cursor");
    *phCursor = nullptr;
    try {
        cursor.reset();
        return DBIERR_NONE;
    } catch (...) {
        return record_current_exception();
    }
}

DBIResult DbiGetDatabaseDesc(const char* pszName, DBDesc* pdbDesc) {
    if (pszName == nullptr) return null_argument("DbiGetDatabaseDesc", "the alias name");
    if (pdbDesc == nullptr) return null_argument("DbiGetDatabaseDesc", "the description");
    try {
        *pdbDesc = describe(find_alias(pszName));
        return DBIERR_NONE;
    } catch (...) {
        return record_current_exception();
    }
}

DBIResult DbiOpenDatabase(const char* pszDbName, const char* pszDbType, DBIOpenMode /*eOpenMode*/,
                          DBIShareMode /*eShareMode*/, hDBIDb* phDb) {
    if (phDb == nullptr) return null_argument("DbiOpenDatabase", "the database address");
    *phDb = nullptr;
    if (pszDbName == nullptr || *pszDbName == '\0')
        return record_failure(DBIERR_INVALIDPARAM, "DbiOpenDatabase: no alias name given");
    if (pszDbType != nullptr && *pszDbType != '\0' && !vaq::iequals(pszDbType, szSTANDARD))
        return record_failure(DBIERR_NOTSUPPORTED,
                              std::string("Database type not supported: ") + pszDbType);
    try {
        const Alias alias = find_alias(pszDbName);
        *phDb = register_database(
            std::make_unique<DbiDatabase>(alias.name, alias_directory(alias.name)));
        return DBIERR_NONE;
    } catch (...) {
        return record_current_exception();
    }
}

DBIResult DbiCloseDatabase(hDBIDb* phDb) {
    if (phDb == nullptr) return null_argument("DbiCloseDatabase", "the database address");
    if (!release_database(*phDb)) return not_open("DbiCloseDatabase", "database");
    *phDb = nullptr;
    return DBIERR_NONE;
}

DBIResult DbiGetDirectory(hDBIDb hDb, bool /*bDefault*/, char* pszDir) {
    if (!is_open_database(hDb)) return not_open("DbiGetDirectory", "database");
    if (pszDir == nullptr) return null_argument("DbiGetDirectory", "the directory buffer");
    const std::string directory = hDb->directory().string();
    // The configuration refuses longer paths, so this holds for every open database.
    if (directory.size() > static_cast<std::size_t>(DBIMAXPATHLEN))
        return record_failure(DBIERR_INVALIDPARAM, "Directory path is too long: " + directory);
    std::memcpy(pszDir, directory.c_str(), directory.size() + 1);
    return DBIERR_NONE;
}

DBIResult DbiSaveChanges(hDBICur hCursor) {
    if (!is_open_cursor(hCursor)) return not_open("DbiSaveChanges", "cursor");
    try {
        hCursor->save_changes();
        return DBIERR_NONE;
    } catch (...) {
        return record_current_exception();
    }
}

DBIResult DbiGetErrorString(DBIResult rslt, char* pszError) {
    if (pszError == nullptr) return null_argument("DbiGetErrorString", "the message buffer");
    std::string text = error_text(rslt);
    if (text.size() > static_cast<std::size_t>(DBIMAXMSGLEN)) text.resize(DBIMAXMSGLEN);
    std::memcpy(pszError, text.c_str(), text.size() + 1);
    return DBIERR_NONE;
}

}  // namespace pdx
