// Building a secondary index on a large transaction table against full scans of the same
// table in the same run, and appending records to a table with an index against appending
// them to the table without one. Prints the ratios: a bulk build should cost a few scans,
// and an index should add little to each append (it is never sorted again per record).
//
//   pdx_secondary_index_benchmark [--records=N] [google benchmark flags]   (N: 1 000 000)

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/bench_support.h"
#include "bench/transact_table.h"
#include "engine/table/cursor.h"
#include "engine/table/edit_buffer.h"
#include "engine/table/secondary_index.h"
#include "engine/table/table.h"
#include "engine/table/table_writer.h"

namespace {

namespace fs = std::filesystem;

std::uint32_t g_records = 1'000'000;
constexpr int kAppends = 2000;
fs::path g_dir;

// Every field of every record read as a value: what a full scan costs a reader.
std::size_t scan() {
    auto table = pdx::Table::open(g_dir, "Transact");
    auto cursor = table->open_cursor();
    std::size_t checksum = 0;
    for (; !cursor->eof(); cursor->next())
        for (std::size_t i = 0; i < table->schema().size(); ++i)
            checksum += cursor->value(i).as_text().size();
    return checksum;
}

pdx::SecondaryIndexRequest request(std::string name, std::string field, bool case_insensitive) {
    pdx::SecondaryIndexRequest r;
    r.name = std::move(name);
    r.fields = {std::move(field)};
    r.case_insensitive = case_insensitive;
    return r;
}

void BM_FullScan(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(scan());
}

void create_and_drop(benchmark::State& state, const pdx::SecondaryIndexRequest& r) {
    for (auto _ : state) {
        pdx::create_secondary_index(g_dir, "Transact", r);
        state.PauseTiming();
        pdx::delete_secondary_index(g_dir, "Transact", r.name);
        state.ResumeTiming();
    }
}

void BM_CreateDateIndex(benchmark::State& state) {
    create_and_drop(state, request("idx_TransTDate", "TDate", false));
}

void BM_CreateCaseInsensitiveCardIndex(benchmark::State& state) {
    create_and_drop(state, request("idx_Card", "CardID", true));
}

// Appends kAppends records at the end of the table, each one change written as the import
// writes it, with or without the transaction date index.
void append_records(benchmark::State& state, bool with_index) {
    if (with_index)
        pdx::create_secondary_index(g_dir, "Transact", request("idx_TransTDate", "TDate", false));
    std::int64_t id = 50'000'000;
    for (auto _ : state) {
        auto table = pdx::Table::open(g_dir, "Transact", pdx::Access::kWrite);
        for (int i = 0; i < kAppends; ++i) {
            pdx::EditBuffer buffer = pdx::EditBuffer::blank(table);
            buffer.set(0, id++);
            buffer.set(1, std::string("2024-03-0") + std::to_string(1 + i % 9));
            buffer.set(6, std::to_string(15'000'000 + i));
            table->writer().insert(buffer);
        }
        table->writer().flush();
    }
    state.SetItemsProcessed(state.iterations() * kAppends);
    if (with_index) pdx::delete_secondary_index(g_dir, "Transact", "idx_TransTDate");
}

void BM_AppendWithoutIndex(benchmark::State& state) {
    append_records(state, false);
}
void BM_AppendWithIndex(benchmark::State& state) {
    append_records(state, true);
}

BENCHMARK(BM_FullScan)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CreateDateIndex)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CreateCaseInsensitiveCardIndex)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AppendWithoutIndex)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_AppendWithIndex)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    g_records = static_cast<std::uint32_t>(vaq::bench::take_flag(argc, argv, "records", g_records));
    benchmark::Initialize(&argc, argv);
    vaq::bench::ScratchFolder dir("pdx-xbench");
    g_dir = dir.path();
    vaq::bench::write_transact_table(g_dir / "Transact.DB", g_records);

    vaq::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double scan_seconds = reporter.seconds_of("BM_FullScan");
    if (scan_seconds > 0) {
        std::printf(
            "\n%u records: building the date index takes %.2f full scans, the "
            "case-insensitive card index %.2f full scans\n",
            g_records, reporter.seconds_of("BM_CreateDateIndex") / scan_seconds,
            reporter.seconds_of("BM_CreateCaseInsensitiveCardIndex") / scan_seconds);
    }
    const double plain = reporter.seconds_of("BM_AppendWithoutIndex");
    if (plain > 0)
        std::printf("appending %d records with the index takes %.2f times as long as without\n",
                    kAppends, reporter.seconds_of("BM_AppendWithIndex") / plain);
    benchmark::Shutdown();
    return 0;
}
