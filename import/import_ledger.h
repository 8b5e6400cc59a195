#pragma once

// What earlier imports stored, so that a file imported again (after an import stopped on a
// bad line, was interrupted or killed) does not store its first lines a second time.
//
// Each import keeps, in its own run folder of the private directory
// (<private_dir>/<database id>/.import/<run>/lines), a fingerprint of the lines it has
// stored so far: their number K and a hash of their bytes. A file whose first K lines have
// the fingerprint of an earlier import continues after them; a file that differs anywhere
// in its first K lines is a new file.
//
// The fingerprint is written as lines are stored, one text line per change, appended:
//   P K HASH1 HASH2 COUNT   before line K is stored: lines 1 to K-1 (HASH1) are done, and
//                           line K (lines 1 to K: HASH2) is when the transaction table
//                           holds COUNT records
//   D K HASH                lines 1 to K are done (stored, or empty and skipped)
// The last complete line counts. A P line found on the next start (the process stopped
// between the two) is settled then by the record count of the transaction table, before
// any other record is added to it.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vaq::import {

// A hash of lines, one after another (FNV-1a, 64 bits, over each line's bytes and a line
// feed after it).
class LineHash {
  public:
    void add(std::string_view line);
    std::uint64_t value() const { return value_; }

  private:
    std::uint64_t value_ = 0xcbf29ce484222325ULL;
};

// The first lines of a file, stored by an earlier import.
struct EarlierImport {
    std::uint64_t lines = 0;
    std::string date;  // when that import started, "YYYY-MM-DD hh:mm"
};

class ImportLedger {
  public:
    // The fingerprints kept for the database in `directory`; `transactionCount` is the
    // record count of its transaction table now, which settles an interrupted store.
    ImportLedger(const std::filesystem::path& directory, std::uint32_t transactionCount);

    // The longest earlier import whose lines are the first lines of `file`; nothing when
    // the file starts with no earlier import's lines.
    std::optional<EarlierImport> longestMatch(const std::filesystem::path& file) const;

    // The fingerprint of one import, written as its lines are stored.
    class Recorder {
      public:
        Recorder(const std::filesystem::path& folder, const std::filesystem::path& file);
        // Line `line` is about to be stored, the lines before it are done (`before`: their
        // hash; `hash`: with this line); the table then holds `count` records.
        void storing(std::uint64_t line, const LineHash& before, const LineHash& hash,
                     std::uint32_t count);
        // Lines 1 to `line` are stored or skipped.
        void done(std::uint64_t line, const LineHash& hash);
        // The import ends with lines 1 to `line` stored or skipped: the record shrinks to
        // that one entry.
        void finish(std::uint64_t line, const LineHash& hash);

      private:
        void write(const std::string& entry);
        std::filesystem::path path_;
        std::string header_;
        std::ofstream out_;
    };

    // Starts the record of a new import of `file`.
    Recorder record(const std::filesystem::path& file) const;

  private:
    struct Fingerprint {
        std::uint64_t lines = 0;
        std::uint64_t hash = 0;
        std::string date;
    };

    std::filesystem::path directory_;
    std::vector<Fingerprint> fingerprints_;
};

}  // namespace vaq::import
