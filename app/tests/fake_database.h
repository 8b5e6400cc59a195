#pragma once

// Database seams for tests: one that opens, one that cannot.

#include <stdexcept>

#include "app/database_seam.h"
#include "common/error.h"

namespace vaq::app::testing {

inline DatabaseSeam workingDatabase(std::vector<std::string> aliases = {"DefaultDD", "VAQ"}) {
    DatabaseSeam seam;
    seam.openMainDatabase = [] {};
    seam.standardAliases = [aliases] { return aliases; };
    seam.transaction_rows = [] { return std::shared_ptr<const window::RowSource>(); };
    seam.engine_version = "test-engine 0.1";
    return seam;
}

inline DatabaseSeam failingDatabase(std::string message) {
    DatabaseSeam seam = workingDatabase();
    seam.openMainDatabase = [message] { throw Error(message); };
    return seam;
}

}  // namespace vaq::app::testing
