// Restructure of a transaction table (a field added at the end), unkeyed and keyed on its
// first field, against copying the same files with cp in the same run. The restructure
// writes a whole new family and flushes it to disk before it swaps it in; cp leaves its
// copy with the operating system, so the run also measures cp followed by sync of the copy.
// Prints the ratios and the peak memory a restructure needed.
//
//   pdx_restructure_benchmark [--records=N] [google benchmark flags]   (N defaults to 1 000 000)

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
#include "engine/table/restructure.h"
#include "engine/table/table.h"

namespace {

namespace fs = std::filesystem;

std::uint32_t g_records = 1'000'000;
fs::path g_root;
std::map<std::string, double> g_seconds;
std::map<std::string, long> g_peak_kib;

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "pdx-restructure-XXXXXX").string();
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

void reset_peak_memory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

long status_kib(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::strlen(key)));
    return 0;
}

fs::path source_dir(bool keyed) {
    return g_root / (keyed ? "keyed" : "plain");
}

// A fresh copy of the source family in `work`, made outside the timed part.
void refresh(const fs::path& from, const fs::path& work) {
    fs::remove_all(work);
    fs::create_directories(work);
    for (const auto& entry : fs::directory_iterator(from))
        fs::copy_file(entry.path(), work / entry.path().filename());
}

void run_shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

void BM_CopyFiles(benchmark::State& state) {
    const fs::path target = g_root / "copy";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(target);
        fs::create_directories(target);
        state.ResumeTiming();
        run_shell("cp " + (source_dir(false) / "*").string() + " " + target.string());
    }
}

void BM_CopyFilesAndSync(benchmark::State& state) {
    const fs::path target = g_root / "copy";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(target);
        fs::create_directories(target);
        state.ResumeTiming();
        run_shell("cp " + (source_dir(false) / "*").string() + " " + target.string() +
                  " && sync -f " + (target / "Transact.db").string());
    }
}

void restructure(benchmark::State& state, bool keyed, const std::string& name) {
    const fs::path work = g_root / "work";
    const long base = status_kib("VmRSS:");
    reset_peak_memory();
    for (auto _ : state) {
        state.PauseTiming();
        refresh(source_dir(keyed), work);
        pdx::RestructurePlan plan = pdx::current_layout(*pdx::Table::open(work, "Transact"));
        plan.fields.push_back({{"Remark", pdx::FieldType::kAlpha, 20}, std::nullopt});
        state.ResumeTiming();
        pdx::restructure_table(work, "Transact", plan);
    }
    g_peak_kib[name] = status_kib("VmHWM:") - base;
    state.counters["peak_kib"] = static_cast<double>(g_peak_kib[name]);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(g_records));
}

void BM_RestructureUnkeyed(benchmark::State& state) {
    restructure(state, false, "unkeyed");
}
void BM_RestructureKeyed(benchmark::State& state) {
    restructure(state, true, "keyed");
}

BENCHMARK(BM_CopyFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyFilesAndSync)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RestructureUnkeyed)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RestructureKeyed)->Unit(benchmark::kMillisecond)->UseRealTime();

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const double seconds =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            g_seconds[run.benchmark_name()] = seconds;
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

double seconds_of(const std::string& prefix) {
    for (const auto& [name, seconds] : g_seconds)
        if (name.rfind(prefix, 0) == 0) return seconds;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    g_records = take_records_flag(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    TempDir dir;
    g_root = dir.path();
    fs::create_directories(source_dir(false));
    vaq::bench::write_transact_table(source_dir(false) / "Transact.db", g_records);
    // The keyed copy: the same table keyed on TransID, built by a restructure.
    refresh(source_dir(false), source_dir(true));
    pdx::RestructurePlan plan =
        pdx::current_layout(*pdx::Table::open(source_dir(true), "Transact"));
    plan.key_fields = 1;
    pdx::restructure_table(source_dir(true), "Transact", plan);
    std::printf(
        "table: %u records, %.1f MiB\n", g_records,
        static_cast<double>(fs::file_size(source_dir(false) / "Transact.db")) / (1024.0 * 1024.0));
    std::fflush(stdout);

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::fflush(stderr);

    const double cp = seconds_of("BM_CopyFiles/");
    const double cp_sync = seconds_of("BM_CopyFilesAndSync");
    for (const char* kind : {"Unkeyed", "Keyed"}) {
        const double seconds = seconds_of(std::string("BM_Restructure") + kind);
        if (seconds <= 0) continue;
        if (cp > 0)
            std::printf("restructure (%s) / cp: %.2f (goal: at most 3)\n", kind, seconds / cp);
        if (cp_sync > 0)
            std::printf("restructure (%s) / cp + sync: %.2f\n", kind, seconds / cp_sync);
    }
    std::printf("peak memory added by a restructure: unkeyed %ld KiB, keyed %ld KiB\n",
                g_peak_kib["unkeyed"], g_peak_kib["keyed"]);
    return 0;
}
