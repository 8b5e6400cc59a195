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
void copyField(char (&field)[N], const std::string& text, const char* what) {
    if (text.size() >= N)
        throw EngineError(DBIERR_INVALIDPARAM, std::string(what) + " is longer than " +
                                                   std::to_string(N - 1) + " characters: " + text);
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), text.size());
}

DBDesc describe(const Alias& alias) {
    DBDesc desc{};
    copyField(desc.szName, alias.name, "Alias name");
    copyField(desc.szText, std::string(), "Alias description");
    copyField(desc.szPhyName, alias.path.string(), "Alias directory");
    copyField(desc.szDbType, alias.type, "Alias type");
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

DBIResult nullArgument(const char* function, const char* argument) {
    return recordFailure(DBIERR_INVALIDPARAM,
                         std::string(function) + ": " + argument + " must not be null");
}

DBIResult notOpen(const char* function, const char* what) {
    return recordFailure(DBIERR_INVALIDHNDL,
                         std::string(function) + ": the " + what + " is not open");
}

}  // namespace

DBIResult DbiInit() {
    try {
        currentConfiguration();
        return DBIERR_NONE;
    } catch (...) {
        return recordCurrentException();
    }
}

DBIResult DbiOpenDatabaseList(hDBICur* phCur) {
    if (phCur == nullptr) return nullArgument("DbiOpenDatabaseList", "the cursor address");
    *phCur = nullptr;
    try {
        std::vector<DBDesc> entries;
        for (const Alias& alias : currentConfiguration()->aliases())
            entries.push_back(describe(alias));
        *phCur = registerCursor(std::make_unique<DatabaseListCursor>(std::move(entries)));
        return DBIERR_NONE;
    } catch (...) {
        return recordCurrentException();
    }
}

DBIResult DbiGetNextRecord(hDBICur hCursor, DBILockType /*eLock*/, void* pRecBuff) {
    if (!isOpenCursor(hCursor)) return notOpen("DbiGetNextRecord", "cursor");
    if (pRecBuff == nullptr) return nullArgument("DbiGetNextRecord", "the record buffer");
    try {
        if (!hCursor->next_record(pRecBuff)) return recordFailure(DBIERR_EOF, "At end of table");
        return DBIERR_NONE;
    } catch (...) {
        return recordCurrentException();
    }
}

DBIResult DbiCloseCursor(hDBICur* phCursor) {
    if (phCursor == nullptr) return nullArgument("DbiCloseCursor", "the cursor address");
    auto cursor = releaseCursor(*phCursor);
    if (!cursor) return notOpen("DbiCloseCursor", "cursor");
    *phCursor = nullptr;
    try {
        cursor.reset();
        return DBIERR_NONE;
    } catch (...) {
        return recordCurrentException();
    }
}

DBIResult DbiGetDatabaseDesc(const char* pszName, DBDesc* pdbDesc) {
    if (pszName == nullptr) return nullArgument("DbiGetDatabaseDesc", "the alias name");
    if (pdbDesc == nullptr) return nullArgument("DbiGetDatabaseDesc", "the description");
    try {
        *pdbDesc = describe(findAlias(pszName));
        return DBIERR_NONE;
    } catch (...) {
        return recordCurrentException();
    }
}

DBIResult DbiOpenDatabase(const char* pszDbName, const char* pszDbType, DBIOpenMode /*eOpenMode*/,
                          DBIShareMode /*eShareMode*/, hDBIDb* phDb) {
    if (phDb == nullptr) return nullArgument("DbiOpenDatabase", "the database address");
    *phDb = nullptr;
    if (pszDbName == nullptr || *pszDbName == '\0')
        return recordFailure(DBIERR_INVALIDPARAM, "DbiOpenDatabase: no alias name given");
    if (pszDbType != nullptr && *pszDbType != '\0' && !vaq::iequals(pszDbType, szSTANDARD))
        return recordFailure(DBIERR_NOTSUPPORTED,
                             std::string("Database type not supported: ") + pszDbType);
    try {
        const Alias alias = findAlias(pszDbName);
        *phDb = registerDatabase(
            std::make_unique<DbiDatabase>(alias.name, alias_directory(alias.name)));
        return DBIERR_NONE;
    } catch (...) {
        return recordCurrentException();
    }
}

DBIResult DbiCloseDatabase(hDBIDb* phDb) {
    if (phDb == nullptr) return nullArgument("DbiCloseDatabase", "the database address");
    if (!releaseDatabase(*phDb)) return notOpen("DbiCloseDatabase", "database");
    *phDb = nullptr;
    return DBIERR_NONE;
}

DBIResult DbiGetDirectory(hDBIDb hDb, bool /*bDefault*/, char* pszDir) {
    if (!isOpenDatabase(hDb)) return notOpen("DbiGetDirectory", "database");
    if (pszDir == nullptr) return nullArgument("DbiGetDirectory", "the directory buffer");
    const std::string directory = hDb->directory().string();
    // The configuration refuses longer paths, so this holds for every open database.
    if (directory.size() > static_cast<std::size_t>(DBIMAXPATHLEN))
        return recordFailure(DBIERR_INVALIDPARAM, "Directory path is too long: " + directory);
    std::memcpy(pszDir, directory.c_str(), directory.size() + 1);
    return DBIERR_NONE;
}

DBIResult DbiSaveChanges(hDBICur hCursor) {
    if (!isOpenCursor(hCursor)) return notOpen("DbiSaveChanges", "cursor");
    try {
        hCursor->saveChanges();
        return DBIERR_NONE;
    } catch (...) {
        return recordCurrentException();
    }
}

DBIResult DbiGetErrorString(DBIResult rslt, char* pszError) {
    if (pszError == nullptr) return nullArgument("DbiGetErrorString", "the message buffer");
    std::string text = errorText(rslt);
    if (text.size() > static_cast<std::size_t>(DBIMAXMSGLEN)) text.resize(DBIMAXMSGLEN);
    std::memcpy(pszError, text.c_str(), text.size() + 1);
    return DBIERR_NONE;
}

}  // namespace pdx
