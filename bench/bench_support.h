#pragma once

// What every benchmark shares: a scratch folder, its own command-line flags, the peak memory
// a run added, the copy of files (the work of `cp`) that most of them are measured against,
// and a reporter that keeps each run's time for the closing ratios.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vaq::bench {

// A temporary folder removed with everything in it.
class ScratchFolder {
  public:
    explicit ScratchFolder(std::string_view prefix);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Takes "--NAME=VALUE" out of the command line; `fallback` when it is not there.
std::int64_t take_flag(int& argc, char** argv, std::string_view name, std::int64_t fallback);

// The resident memory a stretch of work added at its peak (Linux): the peak is reset when
// the object is made, and read against the memory resident then.
class PeakMemory {
  public:
    PeakMemory();
    long added_kib() const;
    // Shows added_kib() as the counter "peak_kib" of the run and returns it.
    long report_to(benchmark::State& state) const;

  private:
    long baseKib_;
};

enum class Flush { kNo, kYes };

// Copies the regular files of `from` into `to` as `cp` does: all of them, or those of the
// family `stem` only. With Flush::kYes each copy is written through to disk, as the jobs
// write a new table before they swap it in.
void copy_files(const std::filesystem::path& from, const std::filesystem::path& to,
                std::string_view stem = {}, Flush flush = Flush::kNo);

// Empties `folder` (made when missing) outside the timing, so that a timed copy goes into an
// empty folder.
void empty_folder_untimed(benchmark::State& state, const std::filesystem::path& folder);

// Makes `to` an exact copy of the tables in `from` (files replaced). A copy made outside the
// timing before a timed job is flushed (Flush::kYes), so that its writing back to disk does not
// compete with the job and count against it.
void copy_database(const std::filesystem::path& from, const std::filesystem::path& to,
                   Flush flush = Flush::kNo);

// Prints the runs as the console does and keeps the time of each for the closing ratios.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override;

    // Seconds per iteration of the run named `name` or `name/...` (0 when it did not run);
    // the median of its repetitions when it was repeated.
    double seconds_of(std::string_view name) const;

  private:
    std::map<std::string, double> seconds_;
};

}  // namespace vaq::bench
