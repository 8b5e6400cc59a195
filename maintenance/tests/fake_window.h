#pragma once

// A window in memory for the record maintenance tests: it keeps what the jobs put into the
// controls, records the message boxes, and runs a test's hook whenever the job lets the
// window process its events (that is where timer ticks arrive).

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "port/window_port.h"

namespace vaq::maintenance::testing {

using window::Control;

class FakeWindow : public window::WindowPort {
  public:
    std::string text(Control c) const override {
        const auto found = texts.find(c);
        return found == texts.end() ? std::string() : found->second;
    }
    void setText(Control c, std::string_view t) override { texts[c] = std::string(t); }
    void appendText(Control c, std::string_view t) override { texts[c] += t; }

    std::vector<std::string> items(Control c) const override {
        const auto found = lists.find(c);
        return found == lists.end() ? std::vector<std::string>() : found->second;
    }
    void setItems(Control c, const std::vector<std::string>& list) override { lists[c] = list; }
    int selectedIndex(Control c) const override {
        const auto found = selection.find(c);
        return found == selection.end() ? -1 : found->second;
    }
    void select(Control c, int index) override { selection[c] = index; }

    void setRange(Control c, int minimum, int maximum) override { ranges[c] = {minimum, maximum}; }
    int position(Control c) const override {
        const auto found = positions.find(c);
        return found == positions.end() ? 0 : found->second;
    }
    void setPosition(Control c, int value) override {
        const auto range = ranges.find(c);
        if (range != ranges.end()) {
            if (value < range->second.first) value = range->second.first;
            if (value > range->second.second) value = range->second.second;
        }
        positions[c] = value;
        positionHistory[c].push_back(value);
    }

    bool isEnabled(Control c) const override { return !disabled.count(c); }
    void setEnabled(Control c, bool enabled) override {
        if (enabled)
            disabled.erase(c);
        else
            disabled.insert({c, true});
    }
    void setVisible(Control c, bool visible) override { visibility[c] = visible; }
    bool isChecked(Control) const override { return false; }
    void setRunning(Control c, bool on) override { running[c] = on; }
    bool isRunning(Control c) const {
        const auto found = running.find(c);
        return found != running.end() && found->second;
    }
    bool isVisible(Control c) const {
        const auto found = visibility.find(c);
        return found != visibility.end() && found->second;
    }

    void click(Control) override {}
    void showMessage(const window::MessageBox& box) override { messages.push_back(box.text); }
    std::optional<std::string> chooseFile(Control, std::string_view) override {
        return std::nullopt;
    }
    void setBusy(bool) override {}
    void processEvents() override {
        ++eventRounds;
        if (onEvents) onEvents();
    }
    std::string applicationDirectory() const override { return "/opt/vaq"; }

    std::map<Control, std::string> texts;
    std::map<Control, std::vector<std::string>> lists;
    std::map<Control, int> selection;
    std::map<Control, std::pair<int, int>> ranges;
    std::map<Control, int> positions;
    std::map<Control, std::vector<int>> positionHistory;
    std::map<Control, bool> disabled;
    std::map<Control, bool> visibility;
    std::map<Control, bool> running;
    std::vector<std::string> messages;
    int eventRounds = 0;
    std::function<void()> onEvents;
};

}  // namespace vaq::maintenance::testing
