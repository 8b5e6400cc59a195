// The staff ID back-fill ("Update StaffID") over a generated database, against a full scan
// of the same transaction table by the engine in the same run, at N and 2N transactions.
// Every first back-fill starts from a fresh copy of the database (the copy is not timed);
// the generated transactions carry blank staff IDs, so nearly every one is written. A second
// back-fill over a back-filled copy stores nothing: it measures the job's reading alone.
//
//   vaq_backfill_benchmark [--transactions=N] [--staff=S] [google benchmark flags]
//   (N defaults to 1 000 000, S to 100 000)

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench/job_bench_support.h"
#include "db/table.h"
#include "engine/table/cursor.h"
#include "engine/table/table.h"
#include "maintenance/maintenance_form.h"

namespace {

namespace fs = std::filesystem;
using vaq::bench::ScratchFolder;

std::int64_t g_transactions = 1'000'000;
int g_staff = 100'000;
// Index 0: N transactions, 1: 2N.
fs::path g_source[2];
fs::path g_work;

// Every value of every record, as the engine reads them.
std::size_t scan_transactions(const fs::path& folder) {
    auto table = pdx::Table::open_file(folder / "Transact.db");
    auto cursor = table->open_cursor();
    const std::size_t fields = table->schema().size();
    std::size_t checksum = 0;
    for (; !cursor->eof(); cursor->next())
        for (std::size_t i = 0; i < fields; ++i)
            checksum += cursor->value(i).is_null() ? 0 : 1;
    return checksum;
}

void BM_FullScan(benchmark::State& state) {
    const fs::path& source = g_source[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(scan_transactions(source));
}

void BM_Backfill(benchmark::State& state) {
    const fs::path& source = g_source[state.range(0)];
    vaq::bench::SilentWindow window;
    for (auto _ : state) {
        state.PauseTiming();
        vaq::bench::copy_database(source, g_work, vaq::bench::Flush::kYes);
        vaq::bench::use_alias_folder(g_work);
        state.ResumeTiming();
        vaq::maintenance::MaintenanceForm form(window);
        form.BitBtn3Click();
    }
}

// A second back-fill over a database back-filled once before: every transaction has its
// staff ID already, so nothing is stored and the run is the job's own reading and lookups.
// As nothing changes, one back-filled copy made before the first run serves every run.
void BM_BackfillAgain(benchmark::State& state) {
    const fs::path& source = g_source[state.range(0)];
    vaq::bench::SilentWindow window;
    vaq::bench::copy_database(source, g_work);
    vaq::bench::use_alias_folder(g_work);
    vaq::maintenance::MaintenanceForm(window).BitBtn3Click();
    for (auto _ : state) {
        vaq::maintenance::MaintenanceForm form(window);
        form.BitBtn3Click();
    }
}

BENCHMARK(BM_FullScan)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Backfill)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BackfillAgain)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    g_transactions = vaq::bench::take_flag(argc, argv, "transactions", g_transactions);
    g_staff = static_cast<int>(vaq::bench::take_flag(argc, argv, "staff", g_staff));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    ScratchFolder scratch("vaq-backfill-bench");
    g_source[0] = scratch.path() / "n";
    g_source[1] = scratch.path() / "2n";
    g_work = scratch.path() / "work";
    vaq::bench::generate_job_database(g_source[0], g_staff, g_transactions);
    vaq::bench::generate_job_database(g_source[1], g_staff, 2 * g_transactions);

    vaq::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double scan = reporter.seconds_of("BM_FullScan/0");
    const double backfill = reporter.seconds_of("BM_Backfill/0");
    const double backfillDouble = reporter.seconds_of("BM_Backfill/1");
    if (scan > 0 && backfill > 0)
        std::printf("back-fill / full scan at %lld transactions: %.2f (goal: at most 2)\n",
                    static_cast<long long>(g_transactions), backfill / scan);
    const double again = reporter.seconds_of("BM_BackfillAgain/0");
    if (scan > 0 && again > 0)
        std::printf("second back-fill (nothing to store) / full scan: %.2f\n", again / scan);
    if (backfill > 0 && backfillDouble > 0)
        std::printf("back-fill at 2N / at N: %.2f (goal: at most 2.2)\n",
                    backfillDouble / backfill);
    return 0;
}
