// Writing a generated VAQ database: the whole old-layout database with N transactions
// through the engine's table writer, against copying the written files (the work of `cp`)
// in the same run. Prints the time ratio and the peak memory of the generator.
//
//   vaq_generate_benchmark [--transactions=N] [google benchmark flags]   (N: 1 000 000)

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "bench/bench_support.h"
#include "generator/database_generator.h"

namespace {

namespace fs = std::filesystem;

std::int64_t g_transactions = 1'000'000;
fs::path g_work;

vaq::bench::GeneratorOptions options() {
    vaq::bench::GeneratorOptions o;
    o.site.controllers = 20;
    o.site.doorsPerController = 4;
    o.site.staff = 5000;
    o.site.transactions = g_transactions;
    o.site.seed = 7;
    o.out = g_work / "generated";
    o.replace = true;
    return o;
}

void BM_GenerateDatabase(benchmark::State& state) {
    const vaq::bench::PeakMemory memory;
    for (auto _ : state)
        benchmark::DoNotOptimize(vaq::bench::generate_database(options()));
    memory.report_to(state);
    state.SetItemsProcessed(state.iterations() * g_transactions);
}

// The yardstick: the same files copied, as `cp` copies them.
void BM_CopyDatabase(benchmark::State& state) {
    const fs::path from = g_work / "generated";
    if (!fs::exists(from)) vaq::bench::generate_database(options());
    const fs::path to = g_work / "copy";
    for (auto _ : state)
        vaq::bench::copy_database(from, to);
    state.SetItemsProcessed(state.iterations() * g_transactions);
}

BENCHMARK(BM_CopyDatabase)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GenerateDatabase)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    g_transactions = vaq::bench::take_flag(argc, argv, "transactions", g_transactions);
    vaq::bench::ScratchFolder scratch("vaq-generate-bench");
    g_work = scratch.path();

    benchmark::Initialize(&argc, argv);
    vaq::bench::RatioReporter reporter;
    int status = 0;
    try {
        benchmark::RunSpecifiedBenchmarks(&reporter);
        const double generate = reporter.seconds_of("BM_GenerateDatabase");
        const double copy = reporter.seconds_of("BM_CopyDatabase");
        if (generate > 0 && copy > 0) {
            std::printf(
                "%lld transactions: generating takes %.1f times as long as copying "
                "the files (%.2f s against %.3f s)\n",
                static_cast<long long>(g_transactions), generate / copy, generate, copy);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vaq_generate_benchmark: %s\n", error.what());
        status = 1;
    }
    benchmark::Shutdown();
    return status;
}
