#pragma once

// What the upgrade needs of the engine, tried once per test program in a scratch folder, so
// that a test whose engine work has not landed yet is skipped with a message naming what it
// waits for instead of failing.

#include <initializer_list>
#include <string>

namespace vaq::upgrade::testing {

enum class Feature {
    CreateTable,   // CREATE TABLE with an autoinc key
    Insert,        // INSERT ... VALUES
    InsertSelect,  // INSERT ... SELECT
    Alter,         // ALTER TABLE ADD
    Update,        // UPDATE ... SET with time and date texts
    Delete,        // DELETE FROM
    CreateIndex,   // CREATE INDEX
    DropTable,     // DROP TABLE
    EditRecord,    // table object: locate, edit, write a field as text, post
    DeleteIndex,   // table object: delete a secondary index by name
    RenameTable,   // table object: rename a closed table
    DeleteTable,   // table object: delete a closed table
};

// Empty when every feature works; otherwise "waits for the engine's X (its message); ...".
std::string missingFeatures(std::initializer_list<Feature> features);

// Everything the whole upgrade needs.
std::string missingForUpgrade();

}  // namespace vaq::upgrade::testing

// Skips the current test when the engine lacks one of the features.
#define VAQ_REQUIRE_ENGINE(...)                                                              \
    do {                                                                                     \
        const std::string missing = ::vaq::upgrade::testing::missingFeatures({__VA_ARGS__}); \
        if (!missing.empty()) GTEST_SKIP() << missing;                                       \
    } while (false)
