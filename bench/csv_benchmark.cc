// The shell's CSV commands on a transaction table of a million records, each against `cp` of
// the table file in the same run: `vaqdb DIR .export Transact` into a file, for a table pxlib
// wrote (3 KB blocks) and one of ours (4 KB blocks), and `vaqdb DIR .import FILE Transact`
// of that export into an empty table pxlib wrote, against cp of the table it filled. Every
// command runs as its own process, as an administrator's script runs it. Prints the ratios
// and the peak memory of the commands.
//
//   vaqdb_csv_benchmark [--records=N] [google benchmark flags]   (N defaults to 1 000 000)

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "bench/bench_support.h"
#include "bench/transact_table.h"

namespace {

namespace fs = std::filesystem;

std::uint32_t g_records = 1'000'000;
fs::path g_root;

fs::path pxlib_dir() {
    return g_root / "pxlib";
}
fs::path ours_dir() {
    return g_root / "ours";
}
fs::path empty_dir() {
    return g_root / "empty";
}
fs::path import_dir() {
    return g_root / "import";
}
fs::path csv_file() {
    return g_root / "Transact.csv";
}

void run_shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

std::string vaqdb() {
    return VAQDB_PROGRAM;
}

// The largest resident size of any command run so far (KiB).
long children_peak_kib() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss;
}

void copy_table(benchmark::State& state, const fs::path& from) {
    const fs::path target = g_root / "copy";
    for (auto _ : state) {
        vaq::bench::empty_folder_untimed(state, target);
        run_shell("cp " + (from / "Transact.db").string() + " " + target.string());
    }
}

void export_table(benchmark::State& state, const fs::path& from) {
    for (auto _ : state)
        run_shell(vaqdb() + " " + from.string() + " .export Transact > " + csv_file().string());
    state.counters["child_peak_kib"] = static_cast<double>(children_peak_kib());
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(g_records));
}

void BM_CopyPxlibTable(benchmark::State& state) {
    copy_table(state, pxlib_dir());
}
void BM_ExportPxlibTable(benchmark::State& state) {
    export_table(state, pxlib_dir());
}
void BM_CopyOurTable(benchmark::State& state) {
    copy_table(state, ours_dir());
}
void BM_ExportOurTable(benchmark::State& state) {
    export_table(state, ours_dir());
}

// Imports the export of the pxlib-written table into a fresh copy of an empty one.
void BM_ImportIntoPxlibTable(benchmark::State& state) {
    run_shell(vaqdb() + " " + pxlib_dir().string() + " .export Transact > " + csv_file().string());
    for (auto _ : state) {
        state.PauseTiming();
        vaq::bench::copy_database(empty_dir(), import_dir());
        state.ResumeTiming();
        run_shell(vaqdb() + " " + import_dir().string() + " .import " + csv_file().string() +
                  " Transact > /dev/null");
    }
    state.counters["child_peak_kib"] = static_cast<double>(children_peak_kib());
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(g_records));
}

void BM_CopyImportedTable(benchmark::State& state) {
    copy_table(state, import_dir());
}

// A copy takes a few tens of milliseconds and one run of it may take twice as long as the
// next on a busy machine: the yardstick is the median of several.
constexpr int kCopyRepetitions = 5;

BENCHMARK(BM_CopyPxlibTable)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(kCopyRepetitions);
BENCHMARK(BM_ExportPxlibTable)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyOurTable)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(kCopyRepetitions);
BENCHMARK(BM_ExportOurTable)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportIntoPxlibTable)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyImportedTable)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(kCopyRepetitions);

void print_ratio(const vaq::bench::RatioReporter& reporter, const char* what, const char* run,
                 const char* yardstick, const char* goal) {
    const double seconds = reporter.seconds_of(run);
    const double cp = reporter.seconds_of(yardstick);
    if (seconds > 0 && cp > 0) std::printf("%s / cp: %.2f (goal: %s)\n", what, seconds / cp, goal);
}

}  // namespace

int main(int argc, char** argv) {
    g_records = static_cast<std::uint32_t>(vaq::bench::take_flag(argc, argv, "records", g_records));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    vaq::bench::ScratchFolder dir("vaqdb-csv");
    g_root = dir.path();
    vaq::bench::copy_database(vaq::bench::pxlib_transact_table(g_records).parent_path(),
                              pxlib_dir());
    vaq::bench::copy_database(vaq::bench::pxlib_transact_table(0).parent_path(), empty_dir());
    fs::create_directories(ours_dir());
    vaq::bench::write_transact_table(ours_dir() / "Transact.db", g_records);
    std::printf("tables: %u records, pxlib-written %.1f MiB, ours %.1f MiB\n", g_records,
                static_cast<double>(fs::file_size(pxlib_dir() / "Transact.db")) / 1048576.0,
                static_cast<double>(fs::file_size(ours_dir() / "Transact.db")) / 1048576.0);
    std::fflush(stdout);

    vaq::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::fflush(stderr);

    print_ratio(reporter, ".export (pxlib-written, 3 KB blocks)", "BM_ExportPxlibTable",
                "BM_CopyPxlibTable", "at most 8");
    print_ratio(reporter, ".export (ours, 4 KB blocks)", "BM_ExportOurTable", "BM_CopyOurTable",
                "at most 8");
    print_ratio(reporter, ".import into a pxlib-written table", "BM_ImportIntoPxlibTable",
                "BM_CopyImportedTable", "at most 5");
    std::printf("peak memory of a command: %ld KiB (goal: at most 32768)\n", children_peak_kib());
    return 0;
}
