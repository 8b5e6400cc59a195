#pragma once

// The window's database objects over the engine: the session "Session1" and the connection
// MainDB on the alias VAQ in it. The jobs share them with the window.

#include <memory>
#include <string>
#include <vector>

#include "app/database_seam.h"
#include "db/database.h"
#include "db/session.h"

namespace vaq::app {

class EngineDatabase {
  public:
    EngineDatabase();

    // Activates Session1, then opens MainDB; raises pdx::EngineError with the engine's message.
    void open();
    // The names of the aliases whose type is "STANDARD" exactly, in the engine's order.
    std::vector<std::string> standard_aliases();

    db::Session& session() { return session_; }
    db::Database& main_database() { return mainDatabase_; }

  private:
    // Declared first: the connection must go before its session.
    db::Session session_;
    db::Database mainDatabase_;
};

DatabaseSeam make_engine_database_seam(std::shared_ptr<EngineDatabase> database);

}  // namespace vaq::app
