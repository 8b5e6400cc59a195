#pragma once

// Database seams for tests: one that opens, one that cannot.

#include <stdexcept>

#include "app/database_seam.h"
#include "common/error.h"

namespace vaq::app::testing {

inline DatabaseSeam working_database(std::vector<std::string> aliases = {"DefaultDD", "VAQ"}) {
    DatabaseSeam seam;
    seam.open_main_database = [] {};
    seam.standard_aliases = [aliases] { return aliases; };
    seam.transaction_rows = [] { return std::shared_ptr<const window::RowSource>(); };
    seam.engine_version = "test-engine 0.1";
    return seam;
}

inline DatabaseSeam failing_database(std::string message) {
    DatabaseSeam seam = working_database();
    seam.open_main_database = [message] { throw Error(message); };
    return seam;
}

}  // namespace vaq::app::testing
