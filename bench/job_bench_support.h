#pragma once

// What the benchmarks of the window's jobs share: a window that shows nothing, and generated
// databases known to the engine as the alias VAQ.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_support.h"
#include "generator/generator_site.h"
#include "port/window_port.h"

namespace vaq::bench {

// Answers every question of a job at once: no events, no boxes, the file dialog gives
// `chosenFile`.
class SilentWindow : public window::WindowPort {
  public:
    std::string text(window::Control) const override { return {}; }
    void set_text(window::Control, std::string_view) override {}
    void append_text(window::Control, std::string_view) override {}
    std::vector<std::string> items(window::Control) const override { return {}; }
    void set_items(window::Control, const std::vector<std::string>&) override {}
    int selected_index(window::Control) const override { return -1; }
    void select(window::Control, int) override {}
    void set_range(window::Control, int, int) override {}
    int position(window::Control) const override { return 0; }
    void set_position(window::Control, int) override {}
    bool is_enabled(window::Control) const override { return true; }
    void set_enabled(window::Control, bool) override {}
    void set_visible(window::Control, bool) override {}
    bool is_checked(window::Control) const override { return false; }
    void set_running(window::Control, bool) override {}
    void click(window::Control) override {}
    void show_message(const window::MessageBox&) override {}
    std::optional<std::string> choose_file(window::Control, std::string_view) override {
        return chosenFile;
    }
    void set_busy(bool) override {}
    void process_events() override {}
    std::string application_directory() const override { return "."; }

    std::optional<std::string> chosenFile;
};

// The site of the job benchmarks: 20 controllers of 4 doors, seed 7.
SiteOptions job_site_options(int staff, std::int64_t transactions);

// Writes an old-layout database of `staff` staff and `transactions` transactions into
// `folder` and prints how long it took.
void generate_job_database(const std::filesystem::path& folder, int staff,
                           std::int64_t transactions);

// Writes the site's events as an import file, one line "dd/mm/yyyy,hh:mm:ss,controller
// address,door number,card,event" each, ending in CR LF; returns the number of lines.
std::int64_t write_import_file(const Site& site, const std::filesystem::path& file);

// Points the alias VAQ at `folder`.
void use_alias_folder(const std::filesystem::path& folder);

}  // namespace vaq::bench
