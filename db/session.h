#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vaq::db {

class Database;

// A database session of the engine: it lists the aliases of the engine and the tables of a
// database, and knows the connections (Database) made in it, which must not outlive it.
// Engine failures raise pdx::EngineError with the engine's message.
class Session {
  public:
    explicit Session(std::string name);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const std::string& name() const { return name_; }

    // Activating starts the engine (reads its configuration); a broken configuration raises
    // here. Deactivating closes the session's databases first.
    bool active() const { return active_; }
    void setActive(bool active);
    void open() { setActive(true); }
    void close() { setActive(false); }

    // The names of the engine's aliases in the engine's order, every type included.
    // Activates the session when it is not active.
    std::vector<std::string> aliasNames();
    // The names of the aliases whose type is "STANDARD" exactly (letter case included), in the
    // engine's order: the directories of Paradox tables.
    std::vector<std::string> standardAliasNames();
    // Empties the list, then fills it as aliasNames() does.
    void getAliasNames(std::vector<std::string>& list);

    // The tables of a database: the name of a connection of this session that is open, or
    // else an alias. Activates the session. pattern "*.*" lists every table.
    std::vector<std::string> tableNames(std::string_view databaseName,
                                        std::string_view pattern = "*.*", bool extensions = true,
                                        bool systemTables = false);
    // Empties the list, then fills it as tableNames() does.
    void getTableNames(std::string_view databaseName, std::string_view pattern, bool extensions,
                       bool systemTables, std::vector<std::string>& list);

    // The physical directory the engine records for an alias (it need not exist).
    std::filesystem::path aliasDirectory(std::string_view aliasName);

    // The open connection of that name in this session (letter case ignored), or null.
    Database* findDatabase(std::string_view databaseName) const;
    const std::vector<Database*>& databases() const { return databases_; }

  private:
    friend class Database;
    void attach(Database* database);
    void detach(Database* database);

    std::string name_;
    bool active_ = false;
    std::vector<Database*> databases_;
};

// The engine's default session, in which the table and query objects work.
Session& defaultSession();

}  // namespace vaq::db
