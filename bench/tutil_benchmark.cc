// Verify and rebuild of a transaction table by the table-utility library, against copying
// the table's files (the work of `cp`) in the same run. Prints both ratios and the peak
// memory of each. Goals: verify at most 1.5 times, rebuild at most 3 times the copy. A
// rebuild flushes the new table to disk before it swaps it in (a crash must leave the old
// table or the new one), so its ratio against a flushed copy is printed too.
//
// The rebuild is also measured on the same records in tables pxlib wrote, with blocks of 1,
// 2, 3, 4, 8, 16 and 32 KiB (or of --block-kib=K alone): its memory must not grow with the
// table (goal at most 32 MiB) and its time stay within 3 times the copy at every block size.
// A table holds at most 65535 blocks: where the records do not fit (1 KiB blocks hold 11
// records of the transaction table, 720 885 in all) the table holds as many as fit, and the
// output says so. Those tables are written once per record count and block size and kept in
// the build's cache folder. The machine's load average is printed before and after the run: the
// ratios mean little on a machine busy with other work.
//
//   vaq_tutil_benchmark [--records=N] [--block-kib=K] [google benchmark flags]
//   (N defaults to 1 000 000)

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <unistd.h>

extern "C" {
#include <paradox.h>
}

#include "bench/bench_support.h"
#include "bench/transact_table.h"
#include "engine/api/config.h"
#include "engine/format/block_file.h"
#include "engine/format/data_block.h"
#include "tutil/block_scan.h"
#include "tutil/rebuild.h"
#include "tutil/verifier.h"

namespace {

namespace fs = std::filesystem;

std::uint32_t g_records = 1'000'000;
fs::path g_work;
fs::path g_table;
std::map<std::string, long> g_peak_kib;
std::map<int, std::uint32_t> g_pxlib_records;  // records of the pxlib table, by block size

void record_peak(benchmark::State& state, const std::string& name,
                 const vaq::bench::PeakMemory& memory) {
    g_peak_kib[name] = std::max(g_peak_kib[name], memory.report_to(state));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(g_records));
}

// The yardstick: the table's files copied into an empty folder, as `cp` copies them.
void copy_table(benchmark::State& state, vaq::bench::Flush flush) {
    const fs::path copy = g_work / "copy";
    for (auto _ : state) {
        vaq::bench::empty_folder_untimed(state, copy);
        vaq::bench::copy_files(g_table.parent_path(), copy, "Transact", flush);
    }
}

void BM_CopyFiles(benchmark::State& state) {
    copy_table(state, vaq::bench::Flush::kNo);
}

// The copy flushed to disk, as a rebuild flushes the table it writes before it swaps it in.
void BM_CopyAndFlush(benchmark::State& state) {
    copy_table(state, vaq::bench::Flush::kYes);
}

void BM_Verify(benchmark::State& state) {
    const vaq::bench::PeakMemory memory;
    for (auto _ : state)
        benchmark::DoNotOptimize(vaq::tutil::verify_table(g_table).level);
    record_peak(state, "verify", memory);
}

void BM_Rebuild(benchmark::State& state) {
    const fs::path folder = g_work / "private" / "Transact";
    fs::create_directories(folder);
    const vaq::tutil::RebuildRequest request{g_table, folder / "Backup.Db", folder / "KEYVIOL.DB",
                                             folder / "PROBLEM.DB", nullptr};
    const vaq::bench::PeakMemory memory;
    for (auto _ : state)
        vaq::tutil::rebuild_table(request);
    record_peak(state, "rebuild", memory);
}

BENCHMARK(BM_CopyFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyAndFlush)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Verify)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rebuild)->Unit(benchmark::kMillisecond)->UseRealTime();

// The first `limit` records of `ours` (the transaction table written straight as bytes)
// written again by pxlib into `path`, in blocks of `block_kib` KiB.
void write_with_pxlib(const fs::path& ours, const fs::path& path, int block_kib,
                      std::uint32_t limit) {
    const pdx::BlockFile from = pdx::BlockFile::open(ours);
    const pdx::TableHeader& h = from.header();
    pxdoc_t* doc = PX_new();
    if (doc == nullptr) throw std::runtime_error("pxlib cannot make a document");
    // pxlib frees the field list with the document: it comes from pxlib's allocator.
    auto* fields =
        static_cast<pxfield_t*>(doc->malloc(doc, sizeof(pxfield_t) * h.fields.size(), "fields"));
    for (std::size_t i = 0; i < h.fields.size(); ++i) {
        auto* name = static_cast<char*>(doc->malloc(doc, h.fields[i].name.size() + 1, "name"));
        std::memcpy(name, h.fields[i].name.c_str(), h.fields[i].name.size() + 1);
        fields[i] = {name, static_cast<char>(h.fields[i].descriptor.type),
                     h.fields[i].descriptor.size, 0};
    }
    if (PX_create_file(doc, fields, static_cast<int>(h.fields.size()), path.c_str(),
                       pxfFileTypNonIndexDB) < 0) {
        PX_delete(doc);
        throw std::runtime_error("pxlib cannot create " + path.string());
    }
    doc->px_head->px_maxtablesize = block_kib;
    std::vector<char> record(h.record_size);
    bool failed = false;
    std::uint32_t written = 0;
    vaq::tutil::scan_blocks(from, [&](const vaq::tutil::ScannedBlock& block) {
        const auto head = pdx::DataBlockHeader::decode(block.bytes.data());
        for (std::size_t slot = 0;
             slot < head.record_count(h.record_size) && !failed && written < limit;
             ++slot, ++written) {
            const std::uint8_t* r =
                block.bytes.data() + pdx::record_offset_in_block(slot, h.record_size);
            std::memcpy(record.data(), r, h.record_size);
            failed = PX_put_record(doc, record.data()) < 0;
        }
    });
    PX_close(doc);
    PX_delete(doc);
    if (failed) throw std::runtime_error("pxlib cannot write a record into " + path.string());
}

// The records of the transaction table that a table of `block_kib` KiB blocks holds: all,
// or as many as 65535 blocks hold.
std::uint32_t records_that_fit(int block_kib) {
    const std::size_t record_size = pdx::BlockFile::open(g_table).header().record_size;
    const std::size_t per_block =
        (static_cast<std::size_t>(block_kib) * 1024 - pdx::DataBlockHeader::kEncodedSize) /
        record_size;
    return static_cast<std::uint32_t>(std::min<std::size_t>(g_records, per_block * 0xFFFF));
}

// The pxlib table of `block_kib` KiB blocks, written once and kept in the cache folder.
fs::path pxlib_table(int block_kib) {
    const std::uint32_t records = records_that_fit(block_kib);
    g_pxlib_records[block_kib] = records;
    const fs::path folder =
        fs::path(VAQ_BENCH_CACHE_DIR) /
        ("pxlib-transact-" + std::to_string(records) + "-" + std::to_string(block_kib) + "k");
    const fs::path table = folder / "Transact.db";
    if (fs::exists(table)) return table;
    const fs::path partial = folder.string() + ".partial";
    fs::remove_all(partial);
    fs::create_directories(partial);
    write_with_pxlib(g_table, partial / "Transact.db", block_kib, records);
    fs::rename(partial, folder);
    return table;
}

// Copy and rebuild of the pxlib table of `block_kib` KiB blocks, each on a copy of its own.
void register_block_size(int block_kib) {
    const fs::path source = pxlib_table(block_kib);
    const std::string suffix = "/" + std::to_string(block_kib) + "KiB";
    benchmark::RegisterBenchmark(("BM_PxlibCopy" + suffix).c_str(),
                                 [source](benchmark::State& state) {
                                     const fs::path copy = g_work / "pxcopy";
                                     for (auto _ : state) {
                                         vaq::bench::empty_folder_untimed(state, copy);
                                         vaq::bench::copy_files(source.parent_path(), copy,
                                                                "Transact");
                                     }
                                 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("BM_PxlibCopyAndFlush" + suffix).c_str(),
                                 [source](benchmark::State& state) {
                                     const fs::path copy = g_work / "pxcopy";
                                     for (auto _ : state) {
                                         vaq::bench::empty_folder_untimed(state, copy);
                                         vaq::bench::copy_files(source.parent_path(), copy,
                                                                "Transact",
                                                                vaq::bench::Flush::kYes);
                                     }
                                 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(
        ("BM_PxlibRebuild" + suffix).c_str(),
        [source, block_kib](benchmark::State& state) {
            const fs::path data = g_work / ("px" + std::to_string(block_kib));
            const fs::path aside = g_work / "private" / ("px" + std::to_string(block_kib));
            fs::create_directories(aside);
            fs::remove_all(data);
            fs::create_directories(data);
            vaq::bench::copy_files(source.parent_path(), data, "Transact");
            // The copy reaches the disk first: a rebuild's flush must not wait for it.
            ::sync();
            const vaq::tutil::RebuildRequest request{data / "Transact.db", aside / "Backup.Db",
                                                     aside / "KEYVIOL.DB", aside / "PROBLEM.DB",
                                                     nullptr};
            const vaq::bench::PeakMemory memory;
            for (auto _ : state)
                vaq::tutil::rebuild_table(request);
            g_peak_kib["pxlib" + std::to_string(block_kib)] =
                std::max(g_peak_kib["pxlib" + std::to_string(block_kib)], memory.report_to(state));
        })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

// The load averages of the last 1, 5 and 15 minutes, as the system tells them.
std::string load_average() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    if (!(in >> one >> five >> fifteen)) return "unknown";
    return one + " " + five + " " + fifteen;
}

}  // namespace

int main(int argc, char** argv) {
    g_records = static_cast<std::uint32_t>(vaq::bench::take_flag(argc, argv, "records", g_records));
    const auto block_kib = static_cast<int>(vaq::bench::take_flag(argc, argv, "block-kib", 0));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    vaq::bench::ScratchFolder dir("vaq-tutil-bench");
    g_work = dir.path();
    fs::create_directory(g_work / "data");
    g_table = g_work / "data" / "Transact.db";
    vaq::bench::write_transact_table(g_table, g_records);
    pdx::use_configuration(pdx::Configuration::from_text(
        "[engine]\nprivate_dir = " + (g_work / "private").string() + "\n", g_work, "benchmark"));
    std::printf("table: %u records, %.1f MiB\n", g_records,
                static_cast<double>(fs::file_size(g_table)) / (1024.0 * 1024.0));
    const std::vector<int> block_sizes =
        block_kib > 0 ? std::vector<int>{block_kib} : std::vector<int>{1, 2, 3, 4, 8, 16, 32};
    for (const int kib : block_sizes)
        pxlib_table(kib);  // written before the load is taken
    // What was written so far reaches the disk before the timing starts: the system's
    // flushing it would slow whatever runs next, a rebuild's flush most of all.
    ::sync();
    std::printf("load average before the run: %s\n", load_average().c_str());
    std::fflush(stdout);
    for (const int kib : block_sizes)
        register_block_size(kib);

    vaq::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf("load average after the run: %s\n", load_average().c_str());
    const double copy = reporter.seconds_of("BM_CopyFiles");
    const double rebuild = reporter.seconds_of("BM_Rebuild");
    if (copy > 0) {
        std::printf("verify:  %.2f times the copy (goal at most 1.5), peak %ld KiB\n",
                    reporter.seconds_of("BM_Verify") / copy, g_peak_kib["verify"]);
        std::printf("rebuild: %.2f times the copy (goal at most 3), peak %ld KiB\n", rebuild / copy,
                    g_peak_kib["rebuild"]);
        if (const double flushed = reporter.seconds_of("BM_CopyAndFlush"); flushed > 0)
            std::printf("rebuild: %.2f times the copy flushed to disk\n", rebuild / flushed);
    }
    for (const int kib : block_sizes) {
        const std::string suffix = "/" + std::to_string(kib) + "KiB";
        const double px_copy = reporter.seconds_of("BM_PxlibCopy" + suffix);
        if (px_copy <= 0) continue;
        const double px_rebuild = reporter.seconds_of("BM_PxlibRebuild" + suffix);
        std::printf(
            "rebuild of the pxlib table, %d KiB blocks: %.2f times the copy (goal at "
            "most 3), peak %ld KiB (goal at most 32768)\n",
            kib, px_rebuild / px_copy, g_peak_kib["pxlib" + std::to_string(kib)]);
        if (const double flushed = reporter.seconds_of("BM_PxlibCopyAndFlush" + suffix);
            flushed > 0)
            std::printf("  %.2f times the copy flushed to disk\n", px_rebuild / flushed);
        if (g_pxlib_records[kib] < g_records)
            std::printf("  (%u records: the most that 65535 blocks of %d KiB hold, not %u)\n",
                        g_pxlib_records[kib], kib, g_records);
    }
    return 0;
}
