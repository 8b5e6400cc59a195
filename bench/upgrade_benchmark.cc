// "Upgrade DataBase" over a generated old-layout database of N transactions, against copying
// the same database directory (the work of `cp`) in the same run. Every upgrade starts from
// a fresh copy of the old database (the copy is not timed); the repair it presses at its end
// is not part of it. Prints the time ratio and the peak memory of the upgrade.
//
//   vaq_upgrade_benchmark [--transactions=N] [--staff=S] [google benchmark flags]
//   (N defaults to 1 000 000, S to 5 000)

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench/job_bench_support.h"
#include "db/database.h"
#include "db/session.h"
#include "upgrade/upgrade_form.h"

namespace {

namespace fs = std::filesystem;
using vaq::bench::ScratchFolder;

std::int64_t g_transactions = 1'000'000;
int g_staff = 5'000;
fs::path g_source;
fs::path g_work;

// The yardstick: the whole database directory copied.
void BM_CopyDatabase(benchmark::State& state) {
    for (auto _ : state)
        vaq::bench::copyDatabase(g_source, g_work);
    state.SetItemsProcessed(state.iterations() * g_transactions);
}

void BM_Upgrade(benchmark::State& state) {
    vaq::bench::SilentWindow window;
    const vaq::bench::PeakMemory memory;
    for (auto _ : state) {
        state.PauseTiming();
        vaq::bench::copyDatabase(g_source, g_work, vaq::bench::Flush::Yes);
        vaq::bench::useAliasFolder(g_work);
        vaq::db::Session session("Session1");
        vaq::db::Database mainDB(session, "MainDB", "VAQ");
        mainDB.open();
        state.ResumeTiming();
        vaq::upgrade::UpgradeForm(window, mainDB).BitBtn1Click();
    }
    memory.reportTo(state);
    state.SetItemsProcessed(state.iterations() * g_transactions);
}

BENCHMARK(BM_CopyDatabase)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Upgrade)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    g_transactions = vaq::bench::takeFlag(argc, argv, "transactions", g_transactions);
    g_staff = static_cast<int>(vaq::bench::takeFlag(argc, argv, "staff", g_staff));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    ScratchFolder scratch("vaq-upgrade-bench");
    g_source = scratch.path() / "old";
    g_work = scratch.path() / "work";
    vaq::bench::generateJobDatabase(g_source, g_staff, g_transactions);

    vaq::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double copy = reporter.secondsOf("BM_CopyDatabase");
    const double upgrade = reporter.secondsOf("BM_Upgrade");
    if (copy > 0 && upgrade > 0)
        std::printf(
            "upgrade / copy of the database at %lld transactions: %.1f (goal: at most 5; %.2f s "
            "against %.3f s)\n",
            static_cast<long long>(g_transactions), upgrade / copy, upgrade, copy);
    return 0;
}
