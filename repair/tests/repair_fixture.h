#pragma once

// A database directory known to the engine as the alias VAQ (with a private directory of its
// own for the library's auxiliary tables), Session1 and MainDB on it, a window in memory and
// the repair of that window, its "Rebuild" button wired as the window wires it.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "common/tests/failure_of.h"
#include "db/database.h"
#include "db/session.h"
#include "repair/repair_form.h"
#include "test_support/memory_window.h"
#include "test_support/scratch.h"

namespace vaq::repair::testing {

using test_support::failure_of;
using window::Control;

namespace fs = std::filesystem;

class RepairFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Extra lines of the engine configuration ("[alias X]" sections) before the window starts.
    virtual std::string extra_configuration() const { return {}; }
    virtual UtilityLibrary library() const { return {}; }

    fs::path data() const { return root_ / "data"; }
    fs::path private_dir() const { return root_ / "private"; }

    // Writes a small generated VAQ database into data().
    void generate(std::int64_t transactions = 300) const;
    // Runs a statement through the engine directly, as a test's own setup.
    void sql(std::string_view statement) const;

    std::unique_ptr<test_support::ScratchFolder> scratch_;
    fs::path root_;
    test_support::MemoryWindow window_;
    LocalTime now_{2005, 3, 21, 9, 30, 5};
    std::unique_ptr<db::Session> session_;
    std::unique_ptr<db::Database> mainDB_;
    std::shared_ptr<RepairForm> form_;
};

}  // namespace vaq::repair::testing
