// Verify and rebuild of a transaction table by the table-utility library, against copying
// the table's files (the work of `cp`) in the same run. Prints both ratios and the peak
// memory of each. Goals: verify at most 1.5 times, rebuild at most 3 times the copy. A
// rebuild flushes the new table to disk before it swaps it in (a crash must leave the old
// table or the new one), so its ratio against a flushed copy is printed too.
//
//   vaq_tutil_benchmark [--records=N] [google benchmark flags]   (N defaults to 1 000 000)

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "bench/bench_support.h"
#include "bench/transact_table.h"
#include "engine/api/config.h"
#include "tutil/rebuild.h"
#include "tutil/verifier.h"

namespace {

namespace fs = std::filesystem;

std::uint32_t g_records = 1'000'000;
fs::path g_work;
fs::path g_table;
std::map<std::string, long> g_peak_kib;

void record_peak(benchmark::State& state, const std::string& name,
                 const vaq::bench::PeakMemory& memory) {
    g_peak_kib[name] = std::max(g_peak_kib[name], memory.reportTo(state));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(g_records));
}

// The yardstick: the table's files copied into an empty folder, as `cp` copies them.
void copy_table(benchmark::State& state, vaq::bench::Flush flush) {
    const fs::path copy = g_work / "copy";
    for (auto _ : state) {
        vaq::bench::emptyFolderUntimed(state, copy);
        vaq::bench::copyFiles(g_table.parent_path(), copy, "Transact", flush);
    }
}

void BM_CopyFiles(benchmark::State& state) {
    copy_table(state, vaq::bench::Flush::No);
}

// The copy flushed to disk, as a rebuild flushes the table it writes before it swaps it in.
void BM_CopyAndFlush(benchmark::State& state) {
    copy_table(state, vaq::bench::Flush::Yes);
}

void BM_Verify(benchmark::State& state) {
    const vaq::bench::PeakMemory memory;
    for (auto _ : state)
        benchmark::DoNotOptimize(tutil::verify_table(g_table).level);
    record_peak(state, "verify", memory);
}

void BM_Rebuild(benchmark::State& state) {
    const fs::path folder = g_work / "private" / "Transact";
    fs::create_directories(folder);
    const tutil::RebuildRequest request{g_table, folder / "Backup.Db", folder / "KEYVIOL.DB",
                                        folder / "PROBLEM.DB", nullptr};
    const vaq::bench::PeakMemory memory;
    for (auto _ : state)
        tutil::rebuild_table(request);
    record_peak(state, "rebuild", memory);
}

BENCHMARK(BM_CopyFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyAndFlush)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Verify)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rebuild)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    g_records = static_cast<std::uint32_t>(vaq::bench::takeFlag(argc, argv, "records", g_records));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    vaq::bench::ScratchFolder dir("vaq-tutil-bench");
    g_work = dir.path();
    fs::create_directory(g_work / "data");
    g_table = g_work / "data" / "Transact.db";
    vaq::bench::write_transact_table(g_table, g_records);
    pdx::useConfiguration(pdx::Configuration::fromText(
        "[engine]\nprivate_dir = " + (g_work / "private").string() + "\n", g_work, "benchmark"));
    std::printf("table: %u records, %.1f MiB\n", g_records,
                static_cast<double>(fs::file_size(g_table)) / (1024.0 * 1024.0));
    std::fflush(stdout);

    vaq::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const double copy = reporter.secondsOf("BM_CopyFiles");
    const double rebuild = reporter.secondsOf("BM_Rebuild");
    if (copy > 0) {
        std::printf("verify:  %.2f times the copy (goal at most 1.5), peak %ld KiB\n",
                    reporter.secondsOf("BM_Verify") / copy, g_peak_kib["verify"]);
        std::printf("rebuild: %.2f times the copy (goal at most 3), peak %ld KiB\n", rebuild / copy,
                    g_peak_kib["rebuild"]);
        if (const double flushed = reporter.secondsOf("BM_CopyAndFlush"); flushed > 0)
            std::printf("rebuild: %.2f times the copy flushed to disk\n", rebuild / flushed);
    }
    return 0;
}
