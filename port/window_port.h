#pragma once

// What a job of the utility may touch in the main window, without knowing Qt.
//
// The jobs (repair, upgrade, record maintenance, import) report through the controls of the
// page they were started from and keep some of their state in hidden controls. They reach
// those controls only through WindowPort, addressed by the Control names below, so that they
// can run and be tested without a screen: the Qt window implements WindowPort over its
// widgets, the command-line shell over a terminal, tests over plain memory.
//
// Texts are UTF-8. A multi-line text box reads back with CR LF between its lines, so a text
// appended as "line\r\n" reads back exactly as it was written.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vaq::window {

// Every control a job may touch; each one is an object of the main window whose objectName
// is the enumerator's name (Timer1 and the two open-file dialogs included).
#define VAQ_WINDOW_CONTROLS(X)                                                                   \
    /* page "Upgrade DB/Rebuild index" */                                                        \
    X(BitBtn1)                                                                                   \
    X(BitBtn2) X(Button3) X(CheckBox1) X(TableCombo) X(PBHeader) X(PBIndexes) X(PBData)          \
        X(PBRebuild) X(MessageLB) X(Memo1) /* page "Update Blank StaffID", its hidden key group, \
                                              and the page control itself */                     \
        X(PageControl1) X(BitBtn3) X(bar1) X(Animate1) X(Label29) X(Memo2) X(BitBtn14) X(bar4)   \
            X(bar5) X(ComboBox1) X(ComboBox2) /* page "Import Trans2DB" */                       \
        X(Button2)                            /* state controls outside the pages */             \
        X(Button1) X(ListBox1) X(AliasCombo) X(TableLocEdit) X(ByDirectBtn) X(VerifyBtn)         \
            X(RebuildBtn) X(FieldsLB) X(RecSizeLB) X(IndexLB) X(ValidLB) X(RefLB) X(RestructLB)  \
                X(AuxPassLB) X(CodePageLB) X(BlockSizeLB) X(TabLvlLB) /* timer and dialogs */    \
        X(Timer1) X(OpenDialog1) X(OpenDialog2)

#define VAQ_WINDOW_ENUMERATOR(name) name,
enum class Control { VAQ_WINDOW_CONTROLS(VAQ_WINDOW_ENUMERATOR) };
#undef VAQ_WINDOW_ENUMERATOR

#define VAQ_WINDOW_COUNT(name) +1
inline constexpr int kControlCount = 0 VAQ_WINDOW_CONTROLS(VAQ_WINDOW_COUNT);
#undef VAQ_WINDOW_COUNT

// The objectName of a control ("Memo1" for Control::Memo1).
constexpr std::string_view control_name(Control control) {
#define VAQ_WINDOW_NAME_CASE(name) \
    case Control::name:            \
        return #name;
    switch (control) { VAQ_WINDOW_CONTROLS(VAQ_WINDOW_NAME_CASE) }
#undef VAQ_WINDOW_NAME_CASE
    return {};
}

enum class BoxIcon { kNone, kInformation, kWarning, kError };

// A modal message box with one OK button. An empty title stands for the application title
// ("VAQ Utility").
struct MessageBox {
    std::string text;
    std::string title;
    BoxIcon icon = BoxIcon::kNone;
};

class WindowPort {
  public:
    virtual ~WindowPort() = default;

    // Caption of a label or button, content of a one-line field or a text box, or the
    // current item of a drop-down list.
    virtual std::string text(Control control) const = 0;
    virtual void set_text(Control control, std::string_view text) = 0;
    // Adds to the end of a text box with nothing in between; line breaks are the caller's.
    virtual void append_text(Control control, std::string_view text) = 0;

    // Drop-down lists and list boxes. Setting the items or the selection by program runs no
    // change handler; index -1 leaves no item selected.
    virtual std::vector<std::string> items(Control list) const = 0;
    virtual void set_items(Control list, const std::vector<std::string>& items) = 0;
    virtual int selected_index(Control list) const = 0;
    virtual void select(Control list, int index) = 0;

    // Progress bars and gauges. A position outside the range is drawn at its nearest end and
    // reads back as that end.
    virtual void set_range(Control bar, int minimum, int maximum) = 0;
    virtual int position(Control bar) const = 0;
    virtual void set_position(Control bar, int position) = 0;

    virtual bool is_enabled(Control control) const = 0;
    virtual void set_enabled(Control control, bool enabled) = 0;
    virtual void set_visible(Control control, bool visible) = 0;
    virtual bool is_checked(Control checkBox) const = 0;
    // Starts or stops Timer1 (its ticks run the handler Timer1Timer) or the animation Animate1.
    virtual void set_running(Control control, bool running) = 0;

    // Presses a button by program: its click handler runs at once, to its end, as a user's
    // click would, whether or not the button is enabled. An error the handler raises is not
    // shown but reaches the caller, whose own handler then stops too.
    virtual void click(Control button) = 0;

    virtual void show_message(const MessageBox& box) = 0;
    // A modal box with the buttons Yes and No; true for Yes. A port without questions (the
    // shell) shows the box and goes on, as if Yes was pressed.
    virtual bool ask_yes_no(const MessageBox& box) {
        show_message(box);
        return true;
    }
    // Shows OpenDialog1 or OpenDialog2 opened at initialDirectory (the last one used when
    // empty); the chosen file's full path, or nothing when the user cancels.
    virtual std::optional<std::string> choose_file(Control dialog,
                                                   std::string_view initialDirectory) = 0;
    // The hourglass cursor while busy; not counted: one call with false ends it.
    virtual void set_busy(bool busy) = 0;
    // Lets the window repaint, run timer ticks and answer the user (whose clicks then run
    // their handlers inside the caller) before the caller goes on.
    virtual void process_events() = 0;
    // Directory of the running executable, without a trailing separator.
    virtual std::string application_directory() const = 0;
};

// The hourglass for one scope: on from construction to destruction, errors included.
class BusyCursor {
  public:
    explicit BusyCursor(WindowPort& port) : port_(port) { port_.set_busy(true); }
    ~BusyCursor() { port_.set_busy(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

  private:
    WindowPort& port_;
};

}  // namespace vaq::window
