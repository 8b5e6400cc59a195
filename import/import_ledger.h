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
// The fingerprint is written ahead of the stores, one text line for a batch of lines,
// appended:
//   B K HASH COUNT L1 H1 L2 H2 ... Ln Hn
//                           lines 1 to K (HASH) are done and the transaction table holds
//                           COUNT records; the lines L1 < ... < Ln after them are about to
//                           be stored in this order, one record each (Hi: the hash of lines
//                           1 to Li); the lines between them are empty
//   D K HASH                lines 1 to K are done (stored, or empty and skipped)
// The last complete line counts. A B line found on the next start (the process stopped
// before the batch was done) is settled then by the record count of the transaction table,
// before any other record is added to it: COUNT + m records mean lines 1 to Lm are done.
// One write per batch keeps the cost of the fingerprint small against the stores.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
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
    std::optional<EarlierImport> longest_match(const std::filesystem::path& file) const;

    // A line about to be stored: its number and the hash of the lines up to it.
    struct PendingLine {
        std::uint64_t line = 0;
        std::uint64_t hash = 0;
    };

    // The fingerprint of one import, written as its lines are stored.
    class Recorder {
      public:
        Recorder(const std::filesystem::path& folder, const std::filesystem::path& file);
        // The lines `next` are about to be stored, one record each, in this order; lines 1
        // to `doneLines` (`doneHash`) are done and the table holds `count` records.
        void storing(std::uint64_t doneLines, const LineHash& doneHash, std::uint32_t count,
                     std::span<const PendingLine> next);
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
