// Verify and rebuild of a transaction table by the table-utility library, against copying
// the table's files (the work of `cp`) in the same run. Prints both ratios and the peak
// memory of each. Goals: verify at most 1.5 times, rebuild at most 3 times the copy. A
// rebuild flushes the new table to disk before it swaps it in (a crash must leave the old
// table or the new one), so its ratio against a flushed copy is printed too.
//
//   vaq_tutil_benchmark [--records=N] [google benchmark flags]   (N defaults to 1 000 000)

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>

#include "bench/transact_table.h"
#include "engine/api/config.h"
#include "engine/format/file.h"
#include "tutil/rebuild.h"
#include "tutil/verifier.h"

namespace {

namespace fs = std::filesystem;

std::uint32_t g_records = 1'000'000;
fs::path g_work;
fs::path g_table;
std::map<std::string, double> g_seconds;
std::map<std::string, long> g_peak_kib;

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "vaq-tutil-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

long memory_kib(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(key);
    while (std::getline(status, line))
        if (line.compare(0, length, key) == 0) return std::stol(line.substr(length));
    return 0;
}

void reset_peak_memory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void record_peak(benchmark::State& state, const std::string& name, long base_kib) {
    const long peak = memory_kib("VmHWM:") - base_kib;
    g_peak_kib[name] = std::max(g_peak_kib[name], peak);
    state.counters["peak_kib"] = static_cast<double>(peak);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(g_records));
}

void BM_CopyFiles(benchmark::State& state) {
    const fs::path copy = g_work / "copy.db";
    for (auto _ : state) {
        fs::copy_file(g_table, copy, fs::copy_options::overwrite_existing);
        state.PauseTiming();
        fs::remove(copy);
        state.ResumeTiming();
    }
}

// The copy flushed to disk, as a rebuild flushes the table it writes before it swaps it in.
void BM_CopyAndFlush(benchmark::State& state) {
    const fs::path copy = g_work / "copy.db";
    for (auto _ : state) {
        fs::copy_file(g_table, copy, fs::copy_options::overwrite_existing);
        pdx::File::open(copy).sync();
        state.PauseTiming();
        fs::remove(copy);
        state.ResumeTiming();
    }
}

void BM_Verify(benchmark::State& state) {
    const long base = memory_kib("VmRSS:");
    reset_peak_memory();
    for (auto _ : state)
        benchmark::DoNotOptimize(tutil::verify_table(g_table).level);
    record_peak(state, "verify", base);
}

void BM_Rebuild(benchmark::State& state) {
    const fs::path folder = g_work / "private" / "Transact";
    fs::create_directories(folder);
    const tutil::RebuildRequest request{g_table, folder / "Backup.Db", folder / "KEYVIOL.DB",
                                        folder / "PROBLEM.DB", nullptr};
    const long base = memory_kib("VmRSS:");
    reset_peak_memory();
    for (auto _ : state)
        tutil::rebuild_table(request);
    record_peak(state, "rebuild", base);
}

BENCHMARK(BM_CopyFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyAndFlush)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Verify)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rebuild)->Unit(benchmark::kMillisecond)->UseRealTime();

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const double seconds =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            const std::string name = run.benchmark_name();
            for (const char* key : {"CopyFiles", "CopyAndFlush", "Verify", "Rebuild"})
                if (name.find(key) != std::string::npos) g_seconds[key] = seconds;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

std::uint32_t take_records_flag(int& argc, char** argv) {
    std::uint32_t records = g_records;
    int out = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--records=", 10) == 0)
            records = static_cast<std::uint32_t>(std::stoul(argv[i] + 10));
        else
            argv[out++] = argv[i];
    }
    argc = out;
    return records;
}

}  // namespace

int main(int argc, char** argv) {
    g_records = take_records_flag(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    TempDir dir;
    g_work = dir.path();
    fs::create_directory(g_work / "data");
    g_table = g_work / "data" / "Transact.db";
    vaq::bench::write_transact_table(g_table, g_records);
    pdx::useConfiguration(pdx::Configuration::fromText(
        "[engine]\nprivate_dir = " + (g_work / "private").string() + "\n", g_work, "benchmark"));
    std::printf("table: %u records, %.1f MiB\n", g_records,
                static_cast<double>(fs::file_size(g_table)) / (1024.0 * 1024.0));
    std::fflush(stdout);

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const double copy = g_seconds["CopyFiles"];
    if (copy > 0) {
        std::printf("verify:  %.2f times the copy (goal at most 1.5), peak %ld KiB\n",
                    g_seconds["Verify"] / copy, g_peak_kib["verify"]);
        std::printf("rebuild: %.2f times the copy (goal at most 3), peak %ld KiB\n",
                    g_seconds["Rebuild"] / copy, g_peak_kib["rebuild"]);
        if (g_seconds["CopyAndFlush"] > 0)
            std::printf("rebuild: %.2f times the copy flushed to disk\n",
                        g_seconds["Rebuild"] / g_seconds["CopyAndFlush"]);
    }
    return 0;
}
