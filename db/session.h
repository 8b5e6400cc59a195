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
    void set_active(bool active);
    void open() { set_active(true); }
    void close() { set_active(false); }

    // The names of the engine's aliases in the engine's order, every type included.
    // Activates the session when it is not active.
    std::vector<std::string> alias_names();
    // The names of the aliases whose type is "STANDARD" exactly (letter case included), in the
    // engine's order: the directories of Paradox tables.
    std::vector<std::string> standard_alias_names();
    // Empties the list, then fills it as alias_names() does.
    void get_alias_names(std::vector<std::string>& list);

    // The tables of a database: the name of a connection of this session that is open, or
    // else an alias. Activates the session. pattern "*.*" lists every table.
    std::vector<std::string> table_names(std::string_view database_name,
                                         std::string_view pattern = "*.*", bool extensions = true,
                                         bool systemTables = false);
    // Empties the list, then fills it as table_names() does.
    void get_table_names(std::string_view database_name, std::string_view pattern, bool extensions,
                         bool systemTables, std::vector<std::string>& list);

    // The physical directory the engine records for an alias (it need not exist).
    std::filesystem::path alias_directory(std::string_view alias_name);

    // The open connection of that name in this session (letter case ignored), or null.
    Database* find_database(std::string_view database_name) const;
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
Session& default_session();

}  // namespace vaq::db
