// The repair of the window over a generated database of N transactions, against copying the
// same files (the work of `cp`) in the same run: "Verify" and "Rebuild" of the transaction
// table through the window's handlers (progress callback and all) against copying that
// table's files, and "Rebuild Index" over every table against copying the whole directory.
// Prints the ratios. Goals: verify at most 1.5 times, rebuild at most 3 times the copy.
//
//   vaq_repair_benchmark [--transactions=N] [--staff=S] [google benchmark flags]
//   (N defaults to 1 000 000, S to 5 000)

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "bench/job_bench_support.h"
#include "db/database.h"
#include "db/session.h"
#include "engine/api/config.h"
#include "repair/repair_form.h"

namespace {

namespace fs = std::filesystem;
using vaq::window::Control;

std::int64_t g_transactions = 1'000'000;
int g_staff = 5'000;
fs::path g_data;
fs::path g_copy;

// A window that keeps the texts and lists the repair reads back, and runs "Rebuild" when the
// batch presses it.
class KeepingWindow : public vaq::bench::SilentWindow {
  public:
    std::string text(Control control) const override {
        if (const auto list = lists_.find(control); list != lists_.end())
            return selected(control) < 0
                       ? std::string()
                       : list->second[static_cast<std::size_t>(selected(control))];
        const auto found = texts_.find(control);
        return found == texts_.end() ? std::string() : found->second;
    }
    void set_text(Control control, std::string_view text) override {
        texts_[control] = std::string(text);
    }
    std::vector<std::string> items(Control list) const override {
        const auto found = lists_.find(list);
        return found == lists_.end() ? std::vector<std::string>() : found->second;
    }
    void set_items(Control list, const std::vector<std::string>& items) override {
        lists_[list] = items;
        selected_[list] = -1;
    }
    int selected_index(Control list) const override { return selected(list); }
    void select(Control list, int index) override { selected_[list] = index; }
    void click(Control button) override {
        if (button == Control::RebuildBtn && form != nullptr) form->RebuildBtnClick();
    }

    vaq::repair::RepairForm* form = nullptr;

  private:
    int selected(Control list) const {
        const auto found = selected_.find(list);
        return found == selected_.end() ? -1 : found->second;
    }
    std::map<Control, std::string> texts_;
    std::map<Control, std::vector<std::string>> lists_;
    std::map<Control, int> selected_;
};

// The window's objects for one run: Session1, MainDB and the repair with its utility session.
struct Repair {
    Repair() : mainDB(session, "MainDB", "VAQ"), form(window, session, mainDB) {
        mainDB.open();
        window.form = &form;
        form.FormCreate();
    }
    ~Repair() { form.FormDestroy(); }

    KeepingWindow window;
    vaq::db::Session session{"Session1"};
    vaq::db::Database mainDB;
    vaq::repair::RepairForm form;
};

// The yardsticks copy into an empty folder, emptied outside the timing: `cp` into a new
// folder.
void copy_transact_files(benchmark::State& state, vaq::bench::Flush flush) {
    for (auto _ : state) {
        vaq::bench::empty_folder_untimed(state, g_copy);
        vaq::bench::copy_files(g_data, g_copy, "Transact", flush);
    }
    state.SetItemsProcessed(state.iterations() * g_transactions);
}

void BM_CopyTransactFiles(benchmark::State& state) {
    copy_transact_files(state, vaq::bench::Flush::kNo);
}

// The same copy written through to disk, as a rebuild writes its new table before it swaps
// it in.
void BM_CopyTransactFilesFlushed(benchmark::State& state) {
    copy_transact_files(state, vaq::bench::Flush::kYes);
}

// Processor time of the whole process, every thread's: the rebuild works on more than one.
double process_seconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_VerifyButton(benchmark::State& state) {
    Repair repair;
    repair.form.SetLocation((g_data / "Transact.db").string());
    for (auto _ : state)
        repair.form.VerifyBtnClick();
    if (repair.window.text(Control::MessageLB) != "Verification Successful. Table has no errors.")
        state.SkipWithError(repair.window.text(Control::MessageLB).c_str());
    state.SetItemsProcessed(state.iterations() * g_transactions);
}

void BM_RebuildButton(benchmark::State& state) {
    Repair repair;
    repair.form.SetLocation((g_data / "Transact.db").string());
    const double processBefore = process_seconds();
    for (auto _ : state)
        repair.form.RebuildBtnClick();
    state.counters["process_cpu_ms"] =
        1000 * (process_seconds() - processBefore) / static_cast<double>(state.iterations());
    if (!repair.form.last_rebuild().rebuilt)
        state.SkipWithError(repair.form.last_rebuild().cause.c_str());
    state.SetItemsProcessed(state.iterations() * g_transactions);
}

void BM_CopyDatabase(benchmark::State& state) {
    for (auto _ : state) {
        vaq::bench::empty_folder_untimed(state, g_copy);
        vaq::bench::copy_database(g_data, g_copy);
    }
    state.SetItemsProcessed(state.iterations() * g_transactions);
}

void BM_RebuildIndex(benchmark::State& state) {
    Repair repair;
    for (auto _ : state)
        repair.form.BitBtn2Click();
    if (!repair.form.not_rebuilt().empty())
        state.SkipWithError(vaq::repair::not_rebuilt_message(repair.form.not_rebuilt()).c_str());
    state.SetItemsProcessed(state.iterations() * g_transactions);
}

BENCHMARK(BM_CopyTransactFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyTransactFilesFlushed)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_VerifyButton)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RebuildButton)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyDatabase)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RebuildIndex)->Unit(benchmark::kMillisecond)->UseRealTime();

void print_ratio(const vaq::bench::RatioReporter& reporter, const char* what, const char* job,
                 const char* yardstick, const char* goal) {
    const double jobSeconds = reporter.seconds_of(job);
    const double copySeconds = reporter.seconds_of(yardstick);
    if (copySeconds <= 0 || jobSeconds <= 0) return;
    std::printf("%s: %.2f times the copy%s\n", what, jobSeconds / copySeconds, goal);
}

}  // namespace

int main(int argc, char** argv) {
    g_transactions = vaq::bench::take_flag(argc, argv, "transactions", g_transactions);
    g_staff = static_cast<int>(vaq::bench::take_flag(argc, argv, "staff", g_staff));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    vaq::bench::ScratchFolder scratch("vaq-repair-bench");
    g_data = scratch.path() / "data";
    g_copy = scratch.path() / "copy";
    fs::create_directories(g_copy);
    vaq::bench::generate_job_database(g_data, g_staff, g_transactions);
    pdx::use_configuration(
        pdx::Configuration::from_text("[alias VAQ]\npath = data\n[engine]\nprivate_dir = private\n",
                                      scratch.path(), "benchmark"));

    vaq::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    print_ratio(reporter, "Verify of Transact.db", "BM_VerifyButton", "BM_CopyTransactFiles",
                " (goal at most 1.5)");
    print_ratio(reporter, "Rebuild of Transact.db (with its verify)", "BM_RebuildButton",
                "BM_CopyTransactFiles", " (goal at most 3)");
    print_ratio(reporter, "Rebuild of Transact.db (with its verify)", "BM_RebuildButton",
                "BM_CopyTransactFilesFlushed", " flushed to disk");
    print_ratio(reporter, "Rebuild Index of every table", "BM_RebuildIndex", "BM_CopyDatabase", "");
    return 0;
}
