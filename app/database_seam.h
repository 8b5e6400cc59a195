#pragma once

// What the window needs of the database side: its session and main connection, the alias
// list, and the rows of the transaction table for the grid. A plain struct of functions so
// that the real session objects, the engine configuration or a test can stand behind it.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "port/row_source.h"

namespace vaq::app {

struct DatabaseSeam {
    // Activates the session "Session1" and opens the connection MainDB on the alias VAQ in it.
    // Raises vaq::Error with the engine's message when either fails.
    std::function<void()> open_main_database;
    // Names of the engine's aliases whose type is "STANDARD", in the engine's order.
    std::function<std::vector<std::string>()> standard_aliases;
    // The rows of the table object Transaction while it is open, else null.
    std::function<std::shared_ptr<const window::RowSource>()> transaction_rows;
    // Shown in the About box.
    std::string engine_version;
};

}  // namespace vaq::app
