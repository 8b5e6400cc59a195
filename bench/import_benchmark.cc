// The transaction import ("Import Transaction ") of a generated file, against appending the
// same records to the same table in one batch (values already resolved, one save at the
// end) in the same run. Every run starts from a fresh copy of a database whose transaction
// table is empty (the copy is not timed).
//
//   vaq_import_benchmark [--lines=N] [--staff=S] [google benchmark flags]
//   (N defaults to 1 000 000, S to 100 000)

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/job_bench_support.h"
#include "common/dateformat.h"
#include "db/schema.h"
#include "db/table.h"
#include "generator/generator_site.h"
#include "import/import_file.h"
#include "import/import_form.h"

namespace {

namespace fs = std::filesystem;
namespace transact = vaq::db::schema::Transact;
using vaq::bench::ScratchFolder;

std::int64_t g_lines = 1'000'000;
int g_staff = 100'000;
fs::path g_source;
fs::path g_work;
fs::path g_file;

// One import line and the record it should become.
struct ResolvedRecord {
    std::string date;  // mm/dd/yyyy
    std::string time;
    std::string controllerId;
    std::string doorId;
    std::string doorName;
    std::string cardId;
    std::string personalId;
    std::string staffId;
    std::string eventId;
};
std::vector<ResolvedRecord> g_records;

std::string two_digits(int value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// Writes the import file from the site's own event stream and keeps each line's record.
void write_import_file() {
    const vaq::bench::Site site =
        vaq::bench::make_site(vaq::bench::job_site_options(g_staff, g_lines));
    std::map<int, int> addressOf;
    for (const vaq::bench::Controller& c : site.controllers)
        addressOf[c.controllerId] = c.address;
    std::map<int, int> numberOf;
    for (const vaq::bench::Door& d : site.doors)
        numberOf[d.doorId] = d.number;

    std::ofstream out(g_file, std::ios::binary);
    vaq::bench::TransactionStream stream(site);
    vaq::bench::Transaction x;
    g_records.reserve(static_cast<std::size_t>(g_lines));
    while (stream.next(x)) {
        const std::string day = two_digits(x.date.day), month = two_digits(x.date.month);
        const std::string year = std::to_string(x.date.year);
        const std::string time = two_digits(x.time.hour) + ":" + two_digits(x.time.minute) + ":" +
                                 two_digits(x.time.second);
        out << day << '/' << month << '/' << year << ',' << time << ',' << addressOf[x.controllerId]
            << ',' << numberOf[x.doorId] << ',' << x.cardId << ',' << x.eventId << "\r\n";
        ResolvedRecord r{month + "/" + day + "/" + year,
                         time,
                         std::to_string(x.controllerId),
                         std::to_string(x.doorId),
                         x.doorName,
                         vaq::import::zero_pad(x.cardId, vaq::import::kCardNumberWidth),
                         x.personalId ? std::to_string(*x.personalId) : std::string(),
                         x.personalId
                             ? site.staff[static_cast<std::size_t>(*x.personalId - 1)].staffId
                             : std::string(),
                         std::to_string(x.eventId)};
        g_records.push_back(std::move(r));
    }
}

void fresh_database(benchmark::State& state) {
    state.PauseTiming();
    vaq::bench::copy_database(g_source, g_work);
    vaq::bench::use_alias_folder(g_work);
    state.ResumeTiming();
}

void BM_BatchAppend(benchmark::State& state) {
    for (auto _ : state) {
        fresh_database(state);
        vaq::set_short_date_format("mm/dd/yyyy");
        vaq::db::Table table("VAQ", std::string(transact::kTable));
        table.open();
        for (const ResolvedRecord& r : g_records) {
            table.append();
            table.set_field_text(transact::TDate, r.date);
            table.set_field_text(transact::TTime, r.time);
            table.set_field_text(transact::ControllerID, r.controllerId);
            table.set_field_text(transact::DoorID, r.doorId);
            table.set_field_text(transact::Door, r.doorName);
            table.set_field_text(transact::CardID, r.cardId);
            table.set_field_text(transact::PersonalID, r.personalId);
            table.set_field_text(transact::StaffID, r.staffId);
            table.set_field_text(transact::EventID, r.eventId);
            table.post();
        }
        table.save_changes();
    }
}

void BM_Import(benchmark::State& state) {
    vaq::bench::SilentWindow window;
    window.chosenFile = g_file.string();
    for (auto _ : state) {
        fresh_database(state);
        vaq::import::ImportForm form(window);
        // Every iteration imports the same file into a fresh table.
        form.importEveryLine = true;
        form.Button2Click();
    }
}

// The same import with the save of every record left out: what the lookups, the date
// conversions and the per-line posts cost on their own. The save to disk after each line
// (one sync of the table's files) is what the job must do; this shows what it costs.
void BM_ImportWithoutSave(benchmark::State& state) {
    vaq::bench::SilentWindow window;
    window.chosenFile = g_file.string();
    for (auto _ : state) {
        fresh_database(state);
        vaq::import::ImportForm form(window);
        form.importEveryLine = true;
        form.Transaction.set_after_post({});
        form.Button2Click();
    }
}

BENCHMARK(BM_BatchAppend)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Import)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportWithoutSave)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    g_lines = vaq::bench::take_flag(argc, argv, "lines", g_lines);
    g_staff = static_cast<int>(vaq::bench::take_flag(argc, argv, "staff", g_staff));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    ScratchFolder scratch("vaq-import-bench");
    g_source = scratch.path() / "db";
    g_work = scratch.path() / "work";
    g_file = scratch.path() / "transactions.txt";
    vaq::bench::generate_job_database(g_source, g_staff, 0);
    write_import_file();
    std::printf("import file: %zu lines, %.1f MiB\n", g_records.size(),
                static_cast<double>(fs::file_size(g_file)) / (1024.0 * 1024.0));
    std::fflush(stdout);

    vaq::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double batch = reporter.seconds_of("BM_BatchAppend");
    const double import = reporter.seconds_of("BM_Import");
    const double unsaved = reporter.seconds_of("BM_ImportWithoutSave");
    if (batch > 0 && import > 0)
        std::printf("import / batch append of %zu records: %.2f (goal: at most 3)\n",
                    g_records.size(), import / batch);
    if (batch > 0 && unsaved > 0)
        std::printf("import without the save of each record / batch append: %.2f\n",
                    unsaved / batch);
    return 0;
}
