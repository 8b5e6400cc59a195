// Restructure of a transaction table (a field added at the end), unkeyed and keyed on its
// first field, against copying the same files with cp in the same run. The restructure
// writes a whole new family and flushes it to disk before it swaps it in; cp leaves its
// copy with the operating system, so the run also measures cp followed by sync of the copy.
// Prints the ratios and the peak memory a restructure needed.
//
//   pdx_restructure_benchmark [--records=N] [google benchmark flags]   (N defaults to 1 000 000)

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>

#include "bench/bench_support.h"
#include "bench/transact_table.h"
#include "engine/table/restructure.h"
#include "engine/table/table.h"

namespace {

namespace fs = std::filesystem;

std::uint32_t g_records = 1'000'000;
fs::path g_root;
std::map<std::string, long> g_peak_kib;

enum class Source { kPlain, kKeyed, kPxlib };

// Our unkeyed table (4 KB blocks), the same keyed on TransID, and the same records in a
// table pxlib wrote (3 KB blocks).
fs::path source_dir(Source source) {
    switch (source) {
        case Source::kPlain:
            return g_root / "plain";
        case Source::kKeyed:
            return g_root / "keyed";
        case Source::kPxlib:
            return g_root / "pxlib";
    }
    return {};
}

void run_shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

void copy_files(benchmark::State& state, Source source, bool sync) {
    const fs::path target = g_root / "copy";
    for (auto _ : state) {
        vaq::bench::empty_folder_untimed(state, target);
        run_shell("cp " + (source_dir(source) / "*").string() + " " + target.string() +
                  (sync ? " && sync -f " + (target / "Transact.db").string() : ""));
    }
}

void BM_CopyFiles(benchmark::State& state) {
    copy_files(state, Source::kPlain, false);
}
void BM_CopyFilesAndSync(benchmark::State& state) {
    copy_files(state, Source::kPlain, true);
}
void BM_CopyPxlibFiles(benchmark::State& state) {
    copy_files(state, Source::kPxlib, false);
}

void restructure(benchmark::State& state, Source source, const std::string& name) {
    const fs::path work = g_root / "work";
    const vaq::bench::PeakMemory memory;
    for (auto _ : state) {
        state.PauseTiming();
        vaq::bench::copy_database(source_dir(source), work, vaq::bench::Flush::kYes);
        pdx::RestructurePlan plan = pdx::current_layout(*pdx::Table::open(work, "Transact"));
        plan.fields.push_back({{"Remark", pdx::FieldType::kAlpha, 20}, std::nullopt});
        state.ResumeTiming();
        pdx::restructure_table(work, "Transact", plan);
    }
    g_peak_kib[name] = memory.report_to(state);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(g_records));
}

void BM_RestructureUnkeyed(benchmark::State& state) {
    restructure(state, Source::kPlain, "unkeyed");
}
void BM_RestructureKeyed(benchmark::State& state) {
    restructure(state, Source::kKeyed, "keyed");
}
void BM_RestructurePxlib(benchmark::State& state) {
    restructure(state, Source::kPxlib, "pxlib");
}

BENCHMARK(BM_CopyFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyFilesAndSync)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RestructureUnkeyed)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RestructureKeyed)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyPxlibFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RestructurePxlib)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    g_records = static_cast<std::uint32_t>(vaq::bench::take_flag(argc, argv, "records", g_records));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    vaq::bench::ScratchFolder dir("pdx-restructure");
    g_root = dir.path();
    fs::create_directories(source_dir(Source::kPlain));
    vaq::bench::write_transact_table(source_dir(Source::kPlain) / "Transact.db", g_records);
    // The keyed copy: the same table keyed on TransID, built by a restructure.
    vaq::bench::copy_database(source_dir(Source::kPlain), source_dir(Source::kKeyed));
    pdx::RestructurePlan plan =
        pdx::current_layout(*pdx::Table::open(source_dir(Source::kKeyed), "Transact"));
    plan.key_fields = 1;
    pdx::restructure_table(source_dir(Source::kKeyed), "Transact", plan);
    vaq::bench::copy_database(vaq::bench::pxlib_transact_table(g_records).parent_path(),
                              source_dir(Source::kPxlib));
    std::printf("table: %u records, %.1f MiB (pxlib: %.1f MiB)\n", g_records,
                static_cast<double>(fs::file_size(source_dir(Source::kPlain) / "Transact.db")) /
                    (1024.0 * 1024.0),
                static_cast<double>(fs::file_size(source_dir(Source::kPxlib) / "Transact.db")) /
                    (1024.0 * 1024.0));
    std::fflush(stdout);

    vaq::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::fflush(stderr);

    const double cp = reporter.seconds_of("BM_CopyFiles");
    const double cp_sync = reporter.seconds_of("BM_CopyFilesAndSync");
    for (const char* kind : {"Unkeyed", "Keyed"}) {
        const double seconds = reporter.seconds_of(std::string("BM_Restructure") + kind);
        if (seconds <= 0) continue;
        if (cp > 0)
            std::printf("restructure (%s) / cp: %.2f (goal: at most 2.5)\n", kind, seconds / cp);
        if (cp_sync > 0)
            std::printf("restructure (%s) / cp + sync: %.2f\n", kind, seconds / cp_sync);
    }
    const double pxlib = reporter.seconds_of("BM_RestructurePxlib");
    const double cp_pxlib = reporter.seconds_of("BM_CopyPxlibFiles");
    if (pxlib > 0 && cp_pxlib > 0)
        std::printf("restructure (pxlib-written, 3 KB blocks) / cp: %.2f (goal: at most 2.5)\n",
                    pxlib / cp_pxlib);
    std::printf(
        "peak memory added by a restructure: unkeyed %ld KiB, keyed %ld KiB, pxlib-written "
        "%ld KiB\n",
        g_peak_kib["unkeyed"], g_peak_kib["keyed"], g_peak_kib["pxlib"]);
    return 0;
}
