#pragma once

// What the fuzz targets share: a scratch folder of the process, inputs that carry a whole
// table family, the walk that reads every value of a table in every order, and snapshots of
// a folder's files so that each input starts from the same tables.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace pdx {
class Table;
}

namespace vaq::fuzz {

// A folder of its own for the process, with the engine configured to keep its private files
// (rebuild backups and set-aside tables) below it. Removed when the process ends normally.
class Scratch {
  public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::filesystem::path& root() const { return root_; }
    // The folder of the tables; emptied by clear().
    std::filesystem::path data() const { return root_ / "data"; }
    // Removes every file of data() and of the private folder.
    void clear() const;

  private:
    std::filesystem::path root_;
};

// One input for the table targets: the .DB bytes first, then each companion introduced by the
// marker "\n@@FILE " and its extension and a line feed ("\n@@FILE PX\n", "\n@@FILE X02\n").
// An extension that is no companion of a table is ignored; a later file of the same
// extension replaces the earlier one.
inline constexpr std::string_view kFileMarker = "\n@@FILE ";

std::map<std::string, std::vector<std::uint8_t>> split_family(const std::uint8_t* data,
                                                              std::size_t size);
std::vector<std::uint8_t> join_family(
    const std::map<std::string, std::vector<std::uint8_t>>& files);

// Writes the family into `folder` as `stem`.DB, `stem`.PX ...; returns the .DB path.
std::filesystem::path write_family(const std::filesystem::path& folder, std::string_view stem,
                                   const std::map<std::string, std::vector<std::uint8_t>>& files);

// Reads every value of every record as text in table order, in primary key order and in
// the order of every secondary index. Returns the records of the table order. Throws
// vaq::Error when the table cannot be read.
std::size_t read_every_order(const pdx::Table& table);

// The records the data blocks of a .DB file can hold at most: every block the file's size
// allows, each filled to capacity. Zero when the header's sizes are impossible.
std::size_t slots_of(const std::vector<std::uint8_t>& db);

// The files of a folder with their bytes, to put the folder back before each input.
using FolderImage = std::map<std::string, std::vector<std::uint8_t>>;
FolderImage take_image(const std::filesystem::path& folder);
void restore_image(const std::filesystem::path& folder, const FolderImage& image);

// Runs SQL statements on the tables of `folder` and returns the folder's files afterwards.
FolderImage image_after(const std::filesystem::path& folder,
                        const std::vector<std::string>& statements);

// After an operation (named by `after`) that succeeded or failed with an error, the table
// must read in every order and verify without damage; otherwise the process stops.
void expect_sound_table(const std::filesystem::path& folder, std::string_view table,
                        std::string_view after);

// Stops the process with a message: a broken promise the sanitizers cannot see.
[[noreturn]] void broken(const std::string& what);

}  // namespace vaq::fuzz
