#include "bench/bench_support.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <stdexcept>

namespace vaq::bench {

namespace fs = std::filesystem;

namespace {

// A line "KEY  VALUE kB" of /proc/self/status.
long status_kib(std::string_view key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with(key)) return std::stol(line.substr(key.size()));
    return 0;
}

void write_through(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot open " + file.string());
    const int synced = ::fsync(fd);
    ::close(fd);
    if (synced != 0) throw std::runtime_error("cannot flush " + file.string());
}

}  // namespace

ScratchFolder::ScratchFolder(std::string_view prefix) {
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::int64_t take_flag(int& argc, char** argv, std::string_view name, std::int64_t fallback) {
    const std::string prefix = "--" + std::string(name) + "=";
    std::int64_t value = fallback;
    int out = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0)
            value = std::stoll(argv[i] + prefix.size());
        else
            argv[out++] = argv[i];
    }
    argc = out;
    return value;
}

PeakMemory::PeakMemory() : baseKib_(status_kib("VmRSS:")) {
    // Writing 5 resets the peak resident size of the process.
    std::ofstream("/proc/self/clear_refs") << "5";
}

long PeakMemory::added_kib() const {
    return status_kib("VmHWM:") - baseKib_;
}

long PeakMemory::report_to(benchmark::State& state) const {
    const long added = added_kib();
    state.counters["peak_kib"] = static_cast<double>(added);
    return added;
}

void copy_files(const fs::path& from, const fs::path& to, std::string_view stem, Flush flush) {
    for (const auto& entry : fs::directory_iterator(from)) {
        if (!entry.is_regular_file()) continue;
        if (!stem.empty() && entry.path().stem() != stem) continue;
        const fs::path copy = to / entry.path().filename();
        fs::copy_file(entry.path(), copy);
        if (flush == Flush::kYes) write_through(copy);
    }
}

void empty_folder_untimed(benchmark::State& state, const fs::path& folder) {
    state.PauseTiming();
    fs::create_directories(folder);
    for (const auto& entry : fs::directory_iterator(folder))
        fs::remove_all(entry.path());
    state.ResumeTiming();
}

void copy_database(const fs::path& from, const fs::path& to, Flush flush) {
    fs::create_directories(to);
    for (const auto& entry : fs::directory_iterator(to))
        fs::remove_all(entry.path());
    copy_files(from, to, {}, flush);
}

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        // Of the aggregates of repeated runs only the median is a time to compare.
        const bool aggregate = run.run_type == Run::RT_Aggregate;
        if (aggregate && run.aggregate_name != "median") continue;
        seconds_[run.benchmark_name()] =
            run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
    ConsoleReporter::ReportRuns(runs);
}

double RatioReporter::seconds_of(std::string_view name) const {
    double found = 0;
    for (const auto& [run, seconds] : seconds_) {
        if (run != name && !(run.starts_with(name) && run[name.size()] == '/')) continue;
        if (run.ends_with("_median")) return seconds;
        if (found == 0) found = seconds;
    }
    return found;
}

}  // namespace vaq::bench
