#pragma once

// A window in memory for the repair's tests: texts, lists, bars and states per control,
// boxes and presses recorded, button presses run through a JobSet as the real window does.

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/error.h"
#include "port/job_set.h"
#include "port/window_port.h"

namespace vaq::repair::testing {

using window::Control;

class FakeWindow : public window::WindowPort {
  public:
    std::string text(Control control) const override {
        if (lists_.count(control) != 0) {
            const int index = selectedIndex(control);
            return index < 0 ? std::string() : lists_.at(control)[static_cast<std::size_t>(index)];
        }
        const auto found = texts_.find(control);
        return found == texts_.end() ? std::string() : found->second;
    }
    void setText(Control control, std::string_view text) override {
        texts_[control] = std::string(text);
    }
    void appendText(Control control, std::string_view text) override {
        texts_[control] += std::string(text);
    }

    std::vector<std::string> items(Control list) const override {
        const auto found = lists_.find(list);
        return found == lists_.end() ? std::vector<std::string>() : found->second;
    }
    void setItems(Control list, const std::vector<std::string>& items) override {
        lists_[list] = items;
        selected_[list] = -1;
    }
    int selectedIndex(Control list) const override {
        const auto found = selected_.find(list);
        return found == selected_.end() ? -1 : found->second;
    }
    void select(Control list, int index) override {
        if (index >= static_cast<int>(items(list).size()))
            throw Error("No item " + std::to_string(index) + " in the list");
        lists_[list];
        selected_[list] = index;
    }

    void setRange(Control, int, int) override {}
    int position(Control bar) const override {
        const auto found = positions_.find(bar);
        return found == positions_.end() ? 0 : found->second;
    }
    // Keeps the value as given, so that a test sees what the job passed.
    void setPosition(Control bar, int position) override {
        positions_[bar] = position;
        positionChanges.push_back({bar, position});
    }

    bool isEnabled(Control control) const override {
        const auto found = enabled_.find(control);
        return found != enabled_.end() && found->second;
    }
    void setEnabled(Control control, bool enabled) override { enabled_[control] = enabled; }
    void setVisible(Control, bool) override {}
    bool isChecked(Control) const override { return backupTicked; }
    void setRunning(Control, bool) override {}

    void click(Control button) override {
        presses.push_back(button);
        for (const auto& [handler, run] : jobs.handlers) {
            if (window::handlerControl(handler) == button &&
                window::handlerName(handler).ends_with("Click")) {
                run();
                return;
            }
        }
        throw Error("No handler for the button " + std::string(window::controlName(button)));
    }

    void showMessage(const window::MessageBox& box) override { boxes.push_back(box); }
    std::optional<std::string> chooseFile(Control dialog, std::string_view) override {
        dialogs.push_back(dialog);
        if (fileAnswers.empty()) return std::nullopt;
        auto answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }
    void setBusy(bool on) override {
        busy = on;
        if (on) ++busyStarts;
    }
    void processEvents() override {}
    std::string applicationDirectory() const override { return executableDirectory; }

    // The texts of the boxes shown, in order.
    std::vector<std::string> boxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : boxes)
            texts.push_back(box.text);
        return texts;
    }

    window::JobSet jobs;
    std::vector<window::MessageBox> boxes;
    std::vector<std::pair<Control, int>> positionChanges;
    std::vector<Control> presses;
    std::vector<Control> dialogs;
    std::deque<std::optional<std::string>> fileAnswers;
    std::string executableDirectory;
    bool backupTicked = false;
    bool busy = false;
    int busyStarts = 0;

  private:
    std::map<Control, std::string> texts_;
    std::map<Control, std::vector<std::string>> lists_;
    std::map<Control, int> selected_;
    std::map<Control, int> positions_;
    std::map<Control, bool> enabled_;
};

}  // namespace vaq::repair::testing
