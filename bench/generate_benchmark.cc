// Writing a generated VAQ database: the whole old-layout database with N transactions
// through the engine's table writer, against copying the written files (the work of `cp`)
// in the same run. Prints the time ratio and the peak memory of the generator.
//
//   vaq_generate_benchmark [--transactions=N] [google benchmark flags]   (N: 1 000 000)

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>

#include "bench/database_generator.h"

namespace {

namespace fs = std::filesystem;

std::int64_t g_transactions = 1'000'000;
fs::path g_work;
std::map<std::string, double> g_seconds;

long memory_kib(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(key);
    while (std::getline(status, line)) {
        if (line.compare(0, length, key) == 0) return std::stol(line.substr(length));
    }
    return 0;
}

void reset_peak_memory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

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
    const long base = memory_kib("VmRSS:");
    reset_peak_memory();
    for (auto _ : state)
        benchmark::DoNotOptimize(vaq::bench::generateDatabase(options()));
    state.counters["peak_kib"] = static_cast<double>(memory_kib("VmHWM:") - base);
    state.SetItemsProcessed(state.iterations() * g_transactions);
}

// The yardstick: the same files copied, as `cp` copies them.
void BM_CopyDatabase(benchmark::State& state) {
    const fs::path from = g_work / "generated";
    if (!fs::exists(from)) vaq::bench::generateDatabase(options());
    const fs::path to = g_work / "copy";
    for (auto _ : state) {
        fs::remove_all(to);
        fs::copy(from, to);
    }
    state.SetItemsProcessed(state.iterations() * g_transactions);
}

BENCHMARK(BM_CopyDatabase)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GenerateDatabase)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            g_seconds[run.benchmark_name().substr(0, run.benchmark_name().find('/'))] =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--transactions=", 15) == 0) {
            g_transactions = std::stoll(argv[i] + 15);
            for (int j = i; j + 1 < argc; ++j)
                argv[j] = argv[j + 1];
            --argc;
            --i;
        }
    }
    std::string pattern = (fs::temp_directory_path() / "vaq-generate-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    g_work = pattern;

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    int status = 0;
    try {
        benchmark::RunSpecifiedBenchmarks(&reporter);
        const double generate = g_seconds["BM_GenerateDatabase"];
        const double copy = g_seconds["BM_CopyDatabase"];
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
    std::error_code ignored;
    fs::remove_all(g_work, ignored);
    return status;
}
