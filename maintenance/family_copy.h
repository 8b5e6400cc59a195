#pragma once

// A copy of a table's files taken before a change of its structure, to put the table back
// when the change stops halfway: the key re-arrangement drops a table's key column and then
// adds it again, and a table must never be left without it.

#include <filesystem>
#include <string_view>
#include <vector>

namespace vaq::maintenance {

class FamilyCopy {
  public:
    // Copies every file of the family of table `tableName` in `directory` into a scratch
    // folder in that directory (same file system, so a restore is a rename). Throws
    // vaq::Error when the table does not exist or a file cannot be copied.
    FamilyCopy(const std::filesystem::path& directory, std::string_view tableName);
    // Removes the scratch folder, unless a restore failed: the copy is then all that is left
    // of the table and stays where it is.
    ~FamilyCopy();
    FamilyCopy(const FamilyCopy&) = delete;
    FamilyCopy& operator=(const FamilyCopy&) = delete;

    // Puts the copied files back in place of whatever family the table has now, in one
    // atomic swap under the directory lock: files the copy does not have are removed.
    void restore();

    const std::filesystem::path& tableFile() const { return tableFile_; }
    const std::vector<std::filesystem::path>& copiedFiles() const { return copied_; }

  private:
    std::filesystem::path directory_;
    std::filesystem::path tableFile_;
    std::filesystem::path folder_;
    std::vector<std::filesystem::path> copied_;
    bool keep_ = false;
};

}  // namespace vaq::maintenance
