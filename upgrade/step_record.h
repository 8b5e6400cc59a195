#pragma once

// The step of an upgrade that is under way in a database. Some steps are more than one
// statement: a table created and then filled or indexed, a column added and then filled. A
// run that stops with an error between those statements leaves the table or the column
// there, and the next run, which tests for them, would skip the step and leave it half done.
// So such a step is recorded before its first statement and forgotten after its last: the
// next run finds it recorded and does the step again.
//
// The record is the file ".upgrade-step" in the database directory (a dot file: no listing
// of tables shows it), holding the step's name; it travels with the database. It is written
// under a temporary name, flushed and renamed, so that it is found whole or not at all.
// Columns of one table added together are filled together: their steps are recorded
// together, one a line, and the next run fills every one of them again.

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace vaq::upgrade {

class StepRecord {
  public:
    explicit StepRecord(std::filesystem::path database_directory);

    // True when `step` is a step recorded as under way.
    bool is_unfinished(std::string_view step) const;
    // Records `step` as under way. Throws vaq::Error when the record cannot be written.
    void begin(std::string_view step);
    // Records the steps (texts without line breaks) as under way together.
    void begin(std::span<const std::string_view> steps);
    // Forgets the steps under way. Throws vaq::Error when the record cannot be removed.
    void finish();

  private:
    std::filesystem::path file_;
};

}  // namespace vaq::upgrade
