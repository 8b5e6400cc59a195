#pragma once

// A database directory known to the engine as the alias VAQ, with tables written through
// the database generator's table writer: the generator's layouts of the old VAQ tables, and
// rows given by the test column by column.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "generator/generator_writer.h"
#include "test_support/scratch.h"

namespace vaq::maintenance::testing {

using bench::NamedRow;

class SiteFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    const std::filesystem::path& data() const { return data_; }
    // The engine's private directory of the test.
    std::filesystem::path private_dir() const { return root_ / "private"; }

    // Creates an old table ("Personal.DB", "MessForm.DB", "Transact.db") in data().
    void write_table(std::string_view file, const std::vector<NamedRow>& rows);
    // A whole generated site: every table of the old layout.
    void write_site(int staff, std::int64_t transactions);

    // Every record of a table, each field as text, in the table's order.
    std::vector<std::vector<std::string>> read_all(std::string_view table) const;
    std::vector<std::string> field_names(std::string_view table) const;

  private:
    std::unique_ptr<test_support::ScratchFolder> scratch_;
    std::filesystem::path root_;
    std::filesystem::path data_;
};

}  // namespace vaq::maintenance::testing
