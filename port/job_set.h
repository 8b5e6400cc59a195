#pragma once

// How the jobs plug into the main window.
//
// Each button, list and timer that starts a job has one handler, named after the control and
// its event. A job library fills the handlers it owns into a JobSet; the window runs them when
// the user acts (showing any error they raise in the application's error box) and when another
// handler presses their button by program (WindowPort::click, where the error reaches the
// caller). A handler the set leaves empty answers with an error saying it is not available.

#include <functional>
#include <map>
#include <string_view>

#include "port/window_port.h"

namespace vaq::window {

// handler name, the control whose event runs it
#define VAQ_WINDOW_HANDLERS(X)       \
    X(AliasComboChange, AliasCombo)  \
    X(TableComboChange, TableCombo)  \
    X(ByDirectBtnClick, ByDirectBtn) \
    X(VerifyBtnClick, VerifyBtn)     \
    X(RebuildBtnClick, RebuildBtn)   \
    X(BitBtn2Click, BitBtn2)         \
    X(Button1Click, Button1)         \
    X(Button3Click, Button3)         \
    X(BitBtn1Click, BitBtn1)         \
    X(BitBtn3Click, BitBtn3)         \
    X(Timer1Timer, Timer1)           \
    X(BitBtn14Click, BitBtn14)       \
    X(Button2Click, Button2)

#define VAQ_WINDOW_HANDLER_ENUMERATOR(name, control) name,
enum class Handler { VAQ_WINDOW_HANDLERS(VAQ_WINDOW_HANDLER_ENUMERATOR) };
#undef VAQ_WINDOW_HANDLER_ENUMERATOR

constexpr std::string_view handler_name(Handler handler) {
#define VAQ_WINDOW_HANDLER_NAME_CASE(name, control) \
    case Handler::name:                             \
        return #name;
    switch (handler) { VAQ_WINDOW_HANDLERS(VAQ_WINDOW_HANDLER_NAME_CASE) }
#undef VAQ_WINDOW_HANDLER_NAME_CASE
    return {};
}

constexpr Control handler_control(Handler handler) {
#define VAQ_WINDOW_HANDLER_CONTROL_CASE(name, control) \
    case Handler::name:                                \
        return Control::control;
    switch (handler) { VAQ_WINDOW_HANDLERS(VAQ_WINDOW_HANDLER_CONTROL_CASE) }
#undef VAQ_WINDOW_HANDLER_CONTROL_CASE
    return Control::Memo1;
}

struct JobSet {
    std::map<Handler, std::function<void()>> handlers;
    // The table-utility session object of the window: created by the window's start-up
    // (after the alias list is filled) and destroyed when the window goes. Either may raise;
    // the window shows the error. Empty until the repair job provides them.
    std::function<void()> createUtilitySession;
    std::function<void()> destroyUtilitySession;
    // Steps that failed while their job went on, each shown in a box (an index the upgrade
    // could not create, tables the repair could not rebuild). The shell ends a job command
    // with an error when its job counted any.
    int failedSteps = 0;
};

// Called once while the window is built, before it is shown; the port stays valid for the
// window's lifetime.
using JobInstaller = std::function<void(WindowPort& port, JobSet& jobs)>;

}  // namespace vaq::window
