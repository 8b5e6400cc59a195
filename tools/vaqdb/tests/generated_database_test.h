#pragma once

// Tests of the shell's job commands share this: a generated old database in a temporary
// folder of the test's own, an engine configuration whose paths start there, and the shell
// run over the database with what it prints.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/api/config.h"
#include "generator/database_generator.h"
#include "test_support/scratch.h"
#include "tools/vaqdb/shell.h"

namespace vaq::shell {

struct Outcome {
    int status = 0;
    std::string out;
    std::string err;
};

class GeneratedDatabaseTest : public ::testing::Test {
  protected:
    static constexpr const char* kPrivateDirOnly = "[engine]\nprivate_dir = private\n";
    static constexpr const char* kOtherAliasAndPrivateDir =
        "[alias Other]\npath = .\n[engine]\nprivate_dir = private\n";

    // `folder` names the temporary folder; `configuration` is the engine's, read with that
    // folder as the base of relative paths.
    GeneratedDatabaseTest(std::string folder, int transactions, std::string configuration)
        : folder_(std::move(folder)),
          transactions_(transactions),
          configuration_(std::move(configuration)) {}

    void SetUp() override {
        scratch_ = std::make_unique<vaq::test_support::ScratchFolder>(folder_);
        root_ = scratch_->path();
        pdx::use_configuration(pdx::Configuration::from_text(configuration_, root_, "test"));
        vaq::bench::GeneratorOptions options;
        options.out = data();
        options.site.controllers = 2;
        options.site.doorsPerController = 2;
        options.site.staff = 10;
        options.site.transactions = transactions_;
        vaq::bench::generate_database(options);
    }
    void TearDown() override {
        pdx::reload_configuration();
        scratch_.reset();
    }

    std::filesystem::path data() const { return root_ / "data"; }

    // The shell over data(), given `command` and `input` on its standard input.
    Outcome run(const std::vector<std::string>& command, const std::string& input = "") {
        std::vector<std::string> arguments{data().string()};
        arguments.insert(arguments.end(), command.begin(), command.end());
        std::istringstream in(input);
        std::ostringstream out, err;
        Outcome result;
        result.status = run_main(arguments, in, out, err);
        result.out = out.str();
        result.err = err.str();
        return result;
    }

    std::unique_ptr<vaq::test_support::ScratchFolder> scratch_;
    std::filesystem::path root_;

  private:
    std::string folder_;
    int transactions_;
    std::string configuration_;
};

}  // namespace vaq::shell
