#pragma once

// A database directory known to the engine as the alias VAQ, the connection MainDB on it,
// a recording window and the upgrade of that window; with helpers that read what the
// upgrade left behind straight from the engine's tables.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/tests/failure_of.h"
#include "db/database.h"
#include "db/session.h"
#include "engine/api/config.h"
#include "test_support/memory_window.h"
#include "test_support/scratch.h"
#include "upgrade/upgrade_form.h"

namespace vaq::upgrade::testing {

using test_support::failure_of;

namespace fs = std::filesystem;

using Lines = std::vector<std::string>;

class UpgradeFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    fs::path data() const { return root_ / "data"; }

    // Runs statements through the engine directly, as a test's own setup.
    void sql(std::string_view statement) const;
    void sql(std::initializer_list<std::string_view> statements) const;

    // Copies a corpus table (path of its .DB under the corpus) and its family into data().
    void copy_corpus_table(const std::string& relative) const;
    static bool have_corpus();

    // "Name type" for each field in table order, types as the engine's SQL writes them
    // ("CardID char(20)", "DoorID autoinc").
    Lines fields_of(std::string_view table) const;
    // The named secondary indexes, in the engine's order.
    Lines indexes_of(std::string_view table) const;
    // Each row as its values read as text and joined by '|', in table order; only the
    // columns named, or all when none are named.
    Lines rows_of(std::string_view table, const std::vector<std::string_view>& columns = {}) const;
    bool table_exists(std::string_view table) const;
    // Every file of the directory with its bytes, to show that nothing changed.
    std::vector<std::pair<std::string, std::string>> snapshot() const;

    // The upgrade log as lines, each of which must end with CR LF.
    Lines log_lines() const;

    std::unique_ptr<test_support::ScratchFolder> scratch_;
    fs::path root_;
    test_support::MemoryWindow window_;
    std::unique_ptr<db::Session> session_;
    std::unique_ptr<db::Database> mainDB_;
    std::unique_ptr<UpgradeForm> form_;
};

// Joins lines into the text of the upgrade log: each line followed by CR LF.
std::string log_text(const Lines& lines);
// Splits the text of the upgrade log into its lines; a text not ending in CR LF fails the test.
Lines log_lines_of(std::string_view log);

// While it lives, the engine's configuration names `folder` as the alias VAQ; then the
// configuration the test had before is back (or the file is read again when it had none).
class AliasVaqAt {
  public:
    AliasVaqAt(const fs::path& folder, const std::string& name);
    ~AliasVaqAt();
    AliasVaqAt(const AliasVaqAt&) = delete;
    AliasVaqAt& operator=(const AliasVaqAt&) = delete;

  private:
    std::shared_ptr<const pdx::Configuration> previous_;
};

}  // namespace vaq::upgrade::testing
