// Full scan of a transaction table: every field of every record read as a value, by our
// engine and by pxlib on the same file in the same run. Prints the time ratio and the peak
// memory each scan needed.
//
//   pdx_scan_benchmark [--records=N] [google benchmark flags]   (N defaults to 1 000 000)

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <paradox.h>
}

#include "bench/bench_support.h"
#include "bench/transact_table.h"
#include "engine/table/cursor.h"
#include "engine/table/table.h"

namespace {

namespace fs = std::filesystem;

std::uint32_t g_records = 1'000'000;
fs::path g_table;
std::map<std::string, long> g_peak_kib;

void record_result(benchmark::State& state, const std::string& name,
                   const vaq::bench::PeakMemory& memory) {
    g_peak_kib[name] = std::max(g_peak_kib[name], memory.report_to(state));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(g_records));
}

std::size_t scan_with_engine() {
    auto table = pdx::Table::open_file(g_table);
    auto cursor = table->open_cursor();
    const std::size_t fields = table->schema().size();
    std::size_t checksum = 0;
    for (; !cursor->eof(); cursor->next()) {
        for (std::size_t i = 0; i < fields; ++i) {
            const pdx::Value value = cursor->value(i);
            switch (value.type()) {
                case pdx::FieldType::kAlpha:
                    checksum += value.as_text().size();
                    break;
                case pdx::FieldType::kTimestamp:
                    checksum += static_cast<std::size_t>(value.timestamp().value_or(0) > 0);
                    break;
                case pdx::FieldType::kDate:
                    checksum += static_cast<std::size_t>(value.day_number().value_or(0));
                    break;
                case pdx::FieldType::kTime:
                    checksum += static_cast<std::size_t>(value.milliseconds().value_or(0));
                    break;
                default:
                    checksum += static_cast<std::size_t>(value.integer().value_or(0));
            }
        }
    }
    return checksum;
}

std::size_t scan_with_pxlib() {
    pxdoc_t* doc = PX_new();
    std::FILE* file = std::fopen(g_table.c_str(), "rb");
    if (doc == nullptr || file == nullptr || PX_open_fp(doc, file) < 0)
        throw std::runtime_error("pxlib cannot open the table");
    PX_set_targetencoding(doc, "UTF-8");
    const int records = PX_get_num_records(doc);
    const int fields = PX_get_num_fields(doc);
    std::vector<char> record(static_cast<std::size_t>(doc->px_head->px_recordsize));
    std::size_t checksum = 0;
    for (int r = 0; r < records; ++r) {
        if (PX_get_record(doc, r, record.data()) == nullptr) throw std::runtime_error("pxlib read");
        char* p = record.data();
        for (int i = 0; i < fields; ++i) {
            const pxfield_t* f = PX_get_field(doc, i);
            switch (f->px_ftype) {
                case pxfAlpha: {
                    char* text = nullptr;
                    if (PX_get_data_alpha(doc, p, f->px_flen, &text) > 0) {
                        checksum += std::strlen(text);
                        doc->free(doc, text);
                    }
                    break;
                }
                case pxfTimestamp: {
                    double v = 0;
                    PX_get_data_double(doc, p, f->px_flen, &v);
                    checksum += static_cast<std::size_t>(v > 0);
                    break;
                }
                default: {
                    long v = 0;
                    PX_get_data_long(doc, p, f->px_flen, &v);
                    checksum += static_cast<std::size_t>(v);
                }
            }
            p += f->px_flen;
        }
    }
    PX_close(doc);
    PX_delete(doc);
    std::fclose(file);
    return checksum;
}

template <std::size_t (*Scan)()>
void run_scan(benchmark::State& state, const std::string& name) {
    const vaq::bench::PeakMemory memory;
    for (auto _ : state)
        benchmark::DoNotOptimize(Scan());
    record_result(state, name, memory);
}

void BM_ScanEngine(benchmark::State& state) {
    run_scan<scan_with_engine>(state, "engine");
}
void BM_ScanPxlib(benchmark::State& state) {
    run_scan<scan_with_pxlib>(state, "pxlib");
}

BENCHMARK(BM_ScanPxlib)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanEngine)->Unit(benchmark::kMillisecond)->UseRealTime();

// The staff ID back-fill locates one card per transaction: after the first locates the
// cursor answers from its lookup instead of scanning.
void BM_LocateCard(benchmark::State& state) {
    auto table = pdx::Table::open_file(g_table);
    auto cursor = table->open_cursor();
    std::uint32_t n = 0;
    for (auto _ : state) {
        char card[16];
        std::snprintf(card, sizeof card, "%010u", 15'000'000u + (n++ * 7919u) % 20'000u);
        benchmark::DoNotOptimize(cursor->locate("CardID", pdx::FieldInput{std::string(card)}));
    }
}
BENCHMARK(BM_LocateCard)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    g_records = static_cast<std::uint32_t>(vaq::bench::take_flag(argc, argv, "records", g_records));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    vaq::bench::ScratchFolder dir("pdx-scan");
    g_table = dir.path() / "Transact.db";
    vaq::bench::write_transact_table(g_table, g_records);
    std::printf("table: %u records, %.1f MiB\n", g_records,
                static_cast<double>(fs::file_size(g_table)) / (1024.0 * 1024.0));
    std::fflush(stdout);

    vaq::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::fflush(stderr);

    const double engine = reporter.seconds_of("BM_ScanEngine");
    const double pxlib = reporter.seconds_of("BM_ScanPxlib");
    if (engine > 0 && pxlib > 0)
        std::printf("scan time engine/pxlib: %.3f (goal: at most 0.5)\n", engine / pxlib);
    std::printf("peak memory added by a scan: engine %ld KiB, pxlib %ld KiB\n",
                g_peak_kib["engine"], g_peak_kib["pxlib"]);
    return 0;
}
