#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "engine/api/dbi.h"

namespace vaq::db {

class Session;

// A connection on an alias within a session, such as `MainDB` on the alias `VAQ`. Opening
// it checks that the alias exists and that its directory is there; its directory is then the
// database directory. Engine failures raise pdx::EngineError with the engine's message
// ("Alias not found: VAQ", "Directory does not exist: /x").
class Database {
  public:
    Database(Session& session, std::string database_name, std::string alias_name);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    Session& session() const { return session_; }
    const std::string& database_name() const { return databaseName_; }
    const std::string& alias_name() const { return aliasName_; }
    // Throws vaq::Error while the connection is open.
    void set_alias_name(std::string alias_name);

    // Activates the session when needed. Opening an open connection does nothing.
    void open();
    void close();
    bool connected() const { return handle_ != nullptr; }
    void set_connected(bool connected) { connected ? open() : close(); }

    // The database directory. Throws vaq::Error when the connection is not open.
    std::filesystem::path directory() const;

    // The engine's handle while open, else null.
    pdx::hDBIDb handle() const { return handle_; }

  private:
    Session& session_;
    std::string databaseName_;
    std::string aliasName_;
    pdx::hDBIDb handle_ = nullptr;
};

}  // namespace vaq::db
