#pragma once

// A temporary folder for the files a test writes, and whole files as bytes: those of every
// folder's tests (test_support/scratch.h), under the names the engine's tests use.

#include <filesystem>

#include "test_support/scratch.h"

namespace pdx::testing {

namespace fs = std::filesystem;

using TempDir = vaq::test_support::ScratchFolder;
using vaq::test_support::read_file;
using vaq::test_support::write_file;

}  // namespace pdx::testing
