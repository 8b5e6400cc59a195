// The transaction import ("Import Transaction ") run from the window with its page
// "Import Trans2DB" showing, so that the grid over the transaction table follows the job,
// against the same job run as the shell runs it (a port that shows nothing and lets no
// events in) in the same run. Both import the same generated file into a fresh copy of the
// same database; the copy and the start of the window are not timed. The window runs on
// Qt's offscreen platform.
//
//   vaq_window_import_benchmark [--lines=N] [--staff=S] [google benchmark flags]
//   (N defaults to 20 000, S to 10 000)

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFileDialog>
#include <QPushButton>
#include <QTabWidget>
#include <cstdio>
#include <memory>

#include "app/dialog_service.h"
#include "app/engine_database.h"
#include "app/job_wiring.h"
#include "app/main_form.h"
#include "app/main_window.h"
#include "bench/job_bench_support.h"
#include "engine/api/config.h"
#include "import/import_form.h"

namespace {

namespace fs = std::filesystem;

std::int64_t g_lines = 20'000;
int g_staff = 10'000;
fs::path g_source;
fs::path g_work;
fs::path g_file;

// Boxes are counted, not shown; the file dialog gives the import file. Questions the
// benchmark does not expect are left to the real dialogs.
class BenchDialogs : public vaq::app::QtDialogService {
  public:
    void show_message(const vaq::app::BoxRequest&) override { ++boxes; }
    std::optional<QString> choose_file(QFileDialog&) override {
        return QString::fromStdString(g_file.string());
    }
    void ask_then_call(const vaq::app::BoxRequest&, std::function<void(bool)> answered) override {
        answered(false);
    }
    int boxes = 0;
};

// A fresh copy of the database, with a private folder of its own, as the alias VAQ.
void fresh_database() {
    vaq::bench::copy_database(g_source, g_work / "db");
    fs::remove_all(g_work / "private");
    fs::create_directories(g_work / "private");
    pdx::use_configuration(pdx::Configuration::from_text(
        "[alias VAQ]\npath = " + (g_work / "db").string() +
            "\n[engine]\nprivate_dir = " + (g_work / "private").string() + "\n",
        g_work, "benchmark"));
}

void BM_ShellImport(benchmark::State& state) {
    vaq::bench::SilentWindow window;
    window.chosenFile = g_file.string();
    for (auto _ : state) {
        state.PauseTiming();
        fresh_database();
        state.ResumeTiming();
        vaq::import::ImportForm form(window);
        form.Button2Click();
    }
}

void BM_WindowImportShowingTheGrid(benchmark::State& state) {
    BenchDialogs dialogs;
    for (auto _ : state) {
        state.PauseTiming();
        fresh_database();
        auto database = std::make_shared<vaq::app::EngineDatabase>();
        vaq::app::ProgramWiring wiring = vaq::app::make_program_wiring(database);
        auto form = std::make_unique<vaq::app::MainForm>(std::move(wiring.database), dialogs,
                                                         wiring.installJobs);
        form->open_database();
        form->form_create();
        form->show_centred();
        form->window().findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(2);
        QCoreApplication::processEvents();
        auto* importButton = form->window().findChild<QPushButton*>(QStringLiteral("Button2"));
        state.ResumeTiming();

        importButton->click();

        state.PauseTiming();
        form->form_destroy();
        form.reset();
        state.ResumeTiming();
    }
    if (dialogs.boxes != 0) state.SkipWithError("the import showed a box");
}

BENCHMARK(BM_ShellImport)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowImportShowingTheGrid)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    g_lines = vaq::bench::take_flag(argc, argv, "lines", g_lines);
    g_staff = static_cast<int>(vaq::bench::take_flag(argc, argv, "staff", g_staff));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    vaq::bench::ScratchFolder scratch("vaq-window-import-bench");
    g_source = scratch.path() / "db";
    g_work = scratch.path() / "work";
    g_file = scratch.path() / "transactions.txt";
    vaq::bench::generate_job_database(g_source, g_staff, 0);
    const std::int64_t lines = vaq::bench::write_import_file(
        vaq::bench::make_site(vaq::bench::job_site_options(g_staff, g_lines)), g_file);
    std::printf("import file: %lld lines\n", static_cast<long long>(lines));
    std::fflush(stdout);

    vaq::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double shell = reporter.seconds_of("BM_ShellImport");
    const double window = reporter.seconds_of("BM_WindowImportShowingTheGrid");
    if (shell > 0 && window > 0)
        std::printf("window with the grid showing / shell, %lld lines: %.2f (goal: at most 1.5)\n",
                    static_cast<long long>(lines), window / shell);
    return 0;
}
