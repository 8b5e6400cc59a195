// "Upgrade DataBase" over a generated old-layout database of N transactions, against copying
// the same database directory (the work of `cp`) in the same run. Every upgrade starts from
// a fresh copy of the old database (the copy is not timed); the repair it presses at its end
// is not part of it. Prints the time ratio and the peak memory of the upgrade. The same
// again with the transaction table written by pxlib (3072-byte blocks, without DT), so that
// the figure holds for a table of other hands too. The upgrade leaves its tables on disk and
// cp does not, so the copy is also timed written through to disk, the floor of any durable
// rewrite of the directory.
//
//   vaq_upgrade_benchmark [--transactions=N] [--staff=S] [google benchmark flags]
//   (N defaults to 1 000 000, S to 5 000)

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "bench/job_bench_support.h"
#include "bench/transact_table.h"
#include "common/text.h"
#include "db/database.h"
#include "db/session.h"
#include "upgrade/upgrade_form.h"

namespace {

namespace fs = std::filesystem;
using vaq::bench::ScratchFolder;

std::int64_t g_transactions = 1'000'000;
int g_staff = 5'000;
fs::path g_source;
fs::path g_pxlibSource;  // g_source with pxlib's transaction table
fs::path g_work;

// The yardstick: the whole database directory copied.
void copy_benchmark(benchmark::State& state, const fs::path& source,
                    vaq::bench::Flush flush = vaq::bench::Flush::kNo) {
    for (auto _ : state)
        vaq::bench::copy_database(source, g_work, flush);
    state.SetItemsProcessed(state.iterations() * g_transactions);
}

void BM_CopyDatabase(benchmark::State& state) {
    copy_benchmark(state, g_source);
}

void BM_CopyDatabaseToDisk(benchmark::State& state) {
    copy_benchmark(state, g_source, vaq::bench::Flush::kYes);
}

void BM_CopyPxlibDatabase(benchmark::State& state) {
    copy_benchmark(state, g_pxlibSource);
}

void upgrade_benchmark(benchmark::State& state, const fs::path& source) {
    vaq::bench::SilentWindow window;
    const vaq::bench::PeakMemory memory;
    for (auto _ : state) {
        state.PauseTiming();
        vaq::bench::copy_database(source, g_work, vaq::bench::Flush::kYes);
        vaq::bench::use_alias_folder(g_work);
        vaq::db::Session session("Session1");
        vaq::db::Database mainDB(session, "MainDB", "VAQ");
        mainDB.open();
        state.ResumeTiming();
        vaq::upgrade::UpgradeForm(window, mainDB).BitBtn1Click();
    }
    memory.report_to(state);
    state.SetItemsProcessed(state.iterations() * g_transactions);
}

void BM_Upgrade(benchmark::State& state) {
    upgrade_benchmark(state, g_source);
}

void BM_UpgradePxlibTransact(benchmark::State& state) {
    upgrade_benchmark(state, g_pxlibSource);
}

// The old database with its transaction table replaced by the one pxlib wrote.
void make_pxlib_source() {
    fs::create_directories(g_pxlibSource);
    for (const auto& entry : fs::directory_iterator(g_source)) {
        const std::string name = entry.path().filename().string();
        if (!vaq::iequals(entry.path().stem().string(), "Transact"))
            fs::copy(entry.path(), g_pxlibSource / name, fs::copy_options::recursive);
    }
    const fs::path pxlib =
        vaq::bench::pxlib_old_transact_table(static_cast<std::uint32_t>(g_transactions));
    fs::copy_file(pxlib, g_pxlibSource / "Transact.db");
    // What the two databases wrote is on disk before the first copy is timed, so that
    // neither copy waits for the other's writeback.
    ::sync();
}

BENCHMARK(BM_CopyDatabase)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyDatabaseToDisk)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Upgrade)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_CopyPxlibDatabase)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UpgradePxlibTransact)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    g_transactions = vaq::bench::take_flag(argc, argv, "transactions", g_transactions);
    g_staff = static_cast<int>(vaq::bench::take_flag(argc, argv, "staff", g_staff));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    ScratchFolder scratch("vaq-upgrade-bench");
    g_source = scratch.path() / "old";
    g_pxlibSource = scratch.path() / "old-pxlib";
    g_work = scratch.path() / "work";
    vaq::bench::generate_job_database(g_source, g_staff, g_transactions);
    make_pxlib_source();

    vaq::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto print = [&](const char* copyName, const char* upgradeName, const char* what) {
        const double copy = reporter.seconds_of(copyName);
        const double upgrade = reporter.seconds_of(upgradeName);
        if (copy > 0 && upgrade > 0)
            std::printf(
                "upgrade / copy of the database at %lld transactions%s: %.1f (goal: at most 5; "
                "%.2f s against %.3f s)\n",
                static_cast<long long>(g_transactions), what, upgrade / copy, upgrade, copy);
    };
    print("BM_CopyDatabase", "BM_Upgrade", "");
    const double to_disk = reporter.seconds_of("BM_CopyDatabaseToDisk");
    const double upgrade = reporter.seconds_of("BM_Upgrade");
    if (to_disk > 0 && upgrade > 0)
        std::printf("upgrade / copy of the database written through to disk: %.1f (%.3f s)\n",
                    upgrade / to_disk, to_disk);
    print("BM_CopyPxlibDatabase", "BM_UpgradePxlibTransact", " (pxlib's transaction table)");
    return 0;
}
