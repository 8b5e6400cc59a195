#pragma once

// A database directory known to the engine as the alias VAQ, for the session, table and query
// object tests. Real tables are copied into it from the corpus at test time.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "common/error.h"
#include "common/tests/failure_of.h"
#include "engine/api/config.h"
#include "test_support/corpus.h"
#include "test_support/scratch.h"

namespace vaq::db {
using test_support::failure_of;
}  // namespace vaq::db

namespace vaq::db::testing {

namespace fs = std::filesystem;

class AliasDirectory : public ::testing::Test {
  protected:
    void SetUp() override {
        scratch_ = std::make_unique<test_support::ScratchFolder>("vaq-db-objects");
        root_ = scratch_->path();
        fs::create_directory(data());
        pdx::use_configuration(pdx::Configuration::from_text(configuration(), root_, "test"));
    }
    // What the engine is told, its paths relative to root_.
    virtual std::string configuration() const { return "[alias VAQ]\npath = data\n"; }
    void TearDown() override {
        pdx::reload_configuration();
        scratch_.reset();
    }

    fs::path data() const { return root_ / "data"; }

    static bool have_corpus() { return vaq::test_support::have_corpus(); }

    // Copies a corpus table (path of its .DB under the corpus) and its family into data().
    void copy_corpus_table(const std::string& relative) const {
        const fs::path source = vaq::test_support::corpus_folder() / relative;
        const std::string stem = source.stem().string();
        for (const auto& entry : fs::directory_iterator(source.parent_path()))
            if (entry.path().stem().string() == stem)
                fs::copy_file(entry.path(), data() / entry.path().filename());
    }

    std::unique_ptr<test_support::ScratchFolder> scratch_;
    fs::path root_;
};

}  // namespace vaq::db::testing
