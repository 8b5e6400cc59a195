#pragma once

// A window for the upgrade's tests: texts and lists in memory, message boxes and presses of
// buttons recorded. A press of a button runs the handler given for it, if any.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "port/window_port.h"

namespace vaq::upgrade::testing {

class RecordingWindow : public window::WindowPort {
  public:
    using Control = window::Control;

    std::string text(Control control) const override {
        const auto found = texts.find(control);
        return found == texts.end() ? std::string() : found->second;
    }
    void setText(Control control, std::string_view value) override {
        texts[control] = std::string(value);
    }
    void appendText(Control control, std::string_view value) override { texts[control] += value; }

    std::vector<std::string> items(Control list) const override {
        const auto found = lists.find(list);
        return found == lists.end() ? std::vector<std::string>() : found->second;
    }
    void setItems(Control list, const std::vector<std::string>& values) override {
        lists[list] = values;
    }
    int selectedIndex(Control) const override { return -1; }
    void select(Control, int) override {}

    void setRange(Control, int, int) override {}
    int position(Control) const override { return 0; }
    void setPosition(Control, int) override {}
    bool isEnabled(Control) const override { return true; }
    void setEnabled(Control, bool) override {}
    void setVisible(Control, bool) override {}
    bool isChecked(Control) const override { return false; }
    void setRunning(Control, bool) override {}

    void click(Control button) override {
        clicks.push_back(button);
        const auto handler = onClick.find(button);
        if (handler != onClick.end()) handler->second();
    }
    void showMessage(const window::MessageBox& box) override { boxes.push_back(box); }
    std::optional<std::string> chooseFile(Control, std::string_view) override {
        return std::nullopt;
    }
    void setBusy(bool) override {}
    void processEvents() override {}
    std::string applicationDirectory() const override { return "/nonexistent"; }

    std::string log() const { return text(Control::Memo1); }

    std::map<Control, std::string> texts;
    std::map<Control, std::vector<std::string>> lists;
    std::vector<Control> clicks;
    std::vector<window::MessageBox> boxes;
    std::map<Control, std::function<void()>> onClick;
};

}  // namespace vaq::upgrade::testing
