#pragma once

// The main window in memory, for the tests of the jobs: every control of WindowPort behaves
// as its widget does in the Qt window (app/widget_window_port.cpp), and what a test wants to
// look at afterwards is recorded: boxes and questions, presses, dialogs, bar positions, the
// hourglass and the rounds of event processing.
//
// As in the window: a drop-down list or list box filled by program has no selection; a
// selection past the last item is refused; a bar's position stays inside its range (0 to 100
// until set), an empty range being one of width 1; a text box keeps its lines apart and reads
// them back joined by CR LF; controls start enabled; Timer1 is enabled while it runs; only the
// check box is checked or not; a press runs the button's Click handler of the JobSet and
// fails when there is none. Asking a control for what it does not have (the text of a bar,
// the items of a label) raises an error naming the control, as the window does.

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/error.h"
#include "port/job_set.h"
#include "port/window_port.h"

namespace vaq::test_support {

class MemoryWindow : public window::WindowPort {
  public:
    using Control = window::Control;

    // What kind of widget stands for a control in the window.
    enum class Kind {
        kButton,
        kCheckBox,
        kLabel,
        kLineEdit,
        kTextBox,
        kDropDown,
        kListBox,
        kBar,
        kTimer,
        kAnimation,
        kPage,
        kDialog
    };

    static Kind kind_of(Control control) {
        switch (control) {
            case Control::BitBtn1:
            case Control::BitBtn2:
            case Control::Button3:
            case Control::BitBtn3:
            case Control::BitBtn14:
            case Control::Button2:
            case Control::Button1:
            case Control::ByDirectBtn:
            case Control::VerifyBtn:
            case Control::RebuildBtn:
                return Kind::kButton;
            case Control::CheckBox1:
                return Kind::kCheckBox;
            case Control::TableLocEdit:
                return Kind::kLineEdit;
            case Control::Memo1:
            case Control::Memo2:
                return Kind::kTextBox;
            case Control::TableCombo:
            case Control::ComboBox1:
            case Control::ComboBox2:
            case Control::AliasCombo:
                return Kind::kDropDown;
            case Control::ListBox1:
                return Kind::kListBox;
            case Control::PBHeader:
            case Control::PBIndexes:
            case Control::PBData:
            case Control::PBRebuild:
            case Control::bar1:
            case Control::bar4:
            case Control::bar5:
                return Kind::kBar;
            case Control::Timer1:
                return Kind::kTimer;
            case Control::Animate1:
                return Kind::kAnimation;
            case Control::PageControl1:
                return Kind::kPage;
            case Control::OpenDialog1:
            case Control::OpenDialog2:
                return Kind::kDialog;
            default:
                return Kind::kLabel;
        }
    }

    // --- WindowPort ---

    std::string text(Control control) const override {
        switch (kind_of(control)) {
            case Kind::kDropDown: {
                const int index = selected_index(control);
                return index < 0 ? std::string() : items(control)[static_cast<std::size_t>(index)];
            }
            case Kind::kTextBox: {
                std::string lines;
                for (const char c : found(texts_, control, std::string()))
                    lines += c == '\n' ? std::string("\r\n") : std::string(1, c);
                return lines;
            }
            case Kind::kButton:
            case Kind::kCheckBox:
            case Kind::kLabel:
            case Kind::kLineEdit:
                return found(texts_, control, std::string());
            default:
                throw Error("Control " + name(control) + " has no text");
        }
    }
    void set_text(Control control, std::string_view text) override {
        switch (kind_of(control)) {
            case Kind::kTextBox:
                texts_[control] = text_box_lines(text);
                return;
            case Kind::kButton:
            case Kind::kCheckBox:
            case Kind::kLabel:
            case Kind::kLineEdit:
                texts_[control] = std::string(text);
                return;
            default:
                throw Error("Control " + name(control) + " has no text to set");
        }
    }
    void append_text(Control control, std::string_view text) override {
        if (kind_of(control) != Kind::kTextBox)
            throw Error("Control " + name(control) + " is not a text box");
        texts_[control] += text_box_lines(text);
    }

    std::vector<std::string> items(Control list) const override {
        require_list(list);
        return found(items_, list, std::vector<std::string>());
    }
    void set_items(Control list, const std::vector<std::string>& items) override {
        require_list(list);
        items_[list] = items;
        selected_[list] = -1;  // a filled list has no selection until one is made
    }
    int selected_index(Control list) const override {
        require_list(list);
        return found(selected_, list, -1);
    }
    void select(Control list, int index) override {
        if (index >= static_cast<int>(items(list).size()))
            throw Error("List " + name(list) + " has no item " + std::to_string(index));
        selected_[list] = std::max(index, -1);
    }

    void set_range(Control bar, int minimum, int maximum) override {
        require_bar(bar);
        // An empty range would make a busy indicator of the bar; it stays an empty bar.
        ranges_[bar] = {minimum, std::max(maximum, minimum + 1)};
        positions_[bar] = clamped(bar, position(bar));
    }
    int position(Control bar) const override {
        require_bar(bar);
        return found(positions_, bar, 0);
    }
    void set_position(Control bar, int position) override {
        require_bar(bar);
        positions_[bar] = clamped(bar, position);
        positionChanges.emplace_back(bar, position);
        shown_[bar].push_back(positions_[bar]);
    }

    bool is_enabled(Control control) const override {
        if (kind_of(control) == Kind::kTimer) return is_running(control);
        return disabled_.count(control) == 0;
    }
    void set_enabled(Control control, bool enabled) override {
        if (kind_of(control) == Kind::kTimer) return set_running(control, enabled);
        if (enabled)
            disabled_.erase(control);
        else
            disabled_.insert(control);
    }
    void set_visible(Control control, bool visible) override {
        if (kind_of(control) == Kind::kTimer)
            throw Error("Control " + name(control) + " is not a visible control");
        visible_[control] = visible;
    }
    bool is_checked(Control checkBox) const override {
        const Kind kind = kind_of(checkBox);
        if (kind != Kind::kCheckBox && kind != Kind::kButton)
            throw Error("Control " + name(checkBox) + " is not a check box");
        return checked_.count(checkBox) != 0;
    }
    void set_running(Control control, bool running) override {
        const Kind kind = kind_of(control);
        if (kind != Kind::kTimer && kind != Kind::kAnimation)
            throw Error("Control " + name(control) + " cannot run");
        running_[control] = running;
    }

    // A press runs the test's stand-in for the button when it gave one, else the button's
    // Click handler in `jobs`, as the window does.
    void click(Control button) override {
        presses.push_back(button);
        if (const auto stand_in = onClick.find(button); stand_in != onClick.end()) {
            stand_in->second();
            return;
        }
        for (const auto& handler : kHandlers) {
            if (window::handler_control(handler) != button ||
                !window::handler_name(handler).ends_with("Click"))
                continue;
            const auto run = jobs.handlers.find(handler);
            if (run == jobs.handlers.end() || !run->second)
                throw Error("This version of the utility cannot run " +
                            std::string(window::handler_name(handler)) + " yet");
            run->second();
            return;
        }
        throw Error("Control " + name(button) + " is not a button with a handler");
    }

    void show_message(const window::MessageBox& box) override { boxes.push_back(box); }
    bool ask_yes_no(const window::MessageBox& box) override {
        questions.push_back(box);
        if (yesNoAnswers.empty()) return answerYes;
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }
    // The next of fileAnswers; fileAnswer when there is none.
    std::optional<std::string> choose_file(Control dialog,
                                           std::string_view initialDirectory) override {
        if (kind_of(dialog) != Kind::kDialog)
            throw Error("Control " + name(dialog) + " is not an open-file dialog");
        dialogs.push_back(dialog);
        initialFolder = std::string(initialDirectory);
        if (fileAnswers.empty()) return fileAnswer;
        std::optional<std::string> answer = std::move(fileAnswers.front());
        fileAnswers.pop_front();
        return answer;
    }
    void set_busy(bool on) override {
        if (on == busy) return;
        busy = on;
        if (on) ++busyStarts;
    }
    void process_events() override {
        ++eventRounds;
        if (onEvents) onEvents();
    }
    std::string application_directory() const override { return executableDirectory; }

    // --- what the tests set and look at ---

    // Ticks or clears the check box, as the user does.
    void set_checked(Control checkBox, bool checked) {
        if (checked)
            checked_.insert(checkBox);
        else
            checked_.erase(checkBox);
    }
    bool is_running(Control control) const { return found(running_, control, false); }
    // Whether the job showed or hid the control; nothing when it did neither.
    std::optional<bool> visibility(Control control) const {
        const auto at = visible_.find(control);
        if (at == visible_.end()) return std::nullopt;
        return at->second;
    }
    bool is_visible(Control control) const { return visibility(control).value_or(false); }
    std::pair<int, int> range(Control bar) const {
        require_bar(bar);
        return found(ranges_, bar, std::pair<int, int>(0, 100));
    }
    // The positions a bar showed, in order: those it was set to, inside its range.
    std::vector<int> position_history(Control bar) const {
        return found(shown_, bar, std::vector<int>());
    }
    // The texts of the boxes shown, in order.
    std::vector<std::string> box_texts() const {
        std::vector<std::string> texts;
        for (const auto& box : boxes)
            texts.push_back(box.text);
        return texts;
    }
    // The log of the upgrade page.
    std::string log() const { return text(Control::Memo1); }

    window::JobSet jobs;
    std::map<Control, std::function<void()>> onClick;
    std::function<void()> onEvents;

    std::vector<window::MessageBox> boxes;
    std::vector<window::MessageBox> questions;
    bool answerYes = true;          // the answer to questions beyond yesNoAnswers
    std::deque<bool> yesNoAnswers;  // answers to the next questions, in order
    std::vector<Control> presses;
    std::vector<Control> dialogs;
    std::string initialFolder;                           // asked for by the last dialog
    std::deque<std::optional<std::string>> fileAnswers;  // files chosen next, in order
    std::optional<std::string> fileAnswer;  // chosen beyond fileAnswers; nothing: a cancel
    // Every position set, as the job passed it (the bar shows it inside its range).
    std::vector<std::pair<Control, int>> positionChanges;
    std::string executableDirectory = "/opt/vaq";
    bool busy = false;
    int busyStarts = 0;
    int eventRounds = 0;

  private:
    static constexpr window::Handler kHandlers[] = {
#define VAQ_MEMORY_WINDOW_HANDLER(handler, control) window::Handler::handler,
        VAQ_WINDOW_HANDLERS(VAQ_MEMORY_WINDOW_HANDLER)
#undef VAQ_MEMORY_WINDOW_HANDLER
    };

    static std::string name(Control control) {
        return std::string(window::control_name(control));
    }

    template <typename Map, typename Value>
    static Value found(const Map& map, Control control, Value otherwise) {
        const auto at = map.find(control);
        return at == map.end() ? otherwise : at->second;
    }

    // A text box stores its lines joined by line feeds.
    static std::string text_box_lines(std::string_view text) {
        std::string lines;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
            lines += text[i];
        }
        return lines;
    }

    static void require_list(Control list) {
        const Kind kind = kind_of(list);
        if (kind != Kind::kDropDown && kind != Kind::kListBox)
            throw Error("Control " + name(list) + " is not a list");
    }
    static void require_bar(Control bar) {
        if (kind_of(bar) != Kind::kBar)
            throw Error("Control " + name(bar) + " is not a progress bar");
    }
    int clamped(Control bar, int value) const {
        const auto [minimum, maximum] = range(bar);
        return std::clamp(value, minimum, maximum);
    }

    std::map<Control, std::string> texts_;
    std::map<Control, std::vector<std::string>> items_;
    std::map<Control, int> selected_;
    std::map<Control, std::pair<int, int>> ranges_;
    std::map<Control, int> positions_;
    std::map<Control, std::vector<int>> shown_;
    std::set<Control> disabled_;
    std::map<Control, bool> visible_;
    std::set<Control> checked_;
    std::map<Control, bool> running_;
};

}  // namespace vaq::test_support
