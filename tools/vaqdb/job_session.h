#pragma once

// What the window's jobs need around them when the shell runs them: the shell's directory
// standing as the alias VAQ, the session Session1 with the connection MainDB on it, a
// terminal window, and the jobs installed with their start-up steps run. Everything is put
// back as it was when the object goes.

#include <memory>

#include "db/database.h"
#include "db/session.h"
#include "engine/api/config.h"
#include "repair/repair_form.h"
#include "tools/vaqdb/shell.h"
#include "tools/vaqdb/terminal_window.h"

namespace vaq::shell {

class JobSession {
  public:
    explicit JobSession(ShellContext& context);
    ~JobSession();
    JobSession(const JobSession&) = delete;
    JobSession& operator=(const JobSession&) = delete;

    TerminalWindow& window() { return window_; }
    // The connection MainDB on the alias VAQ, open while the session lasts.
    vaq::db::Database& main_database() { return *mainDatabase_; }
    // The repair the window's handlers run, for what it tells beyond the window's texts.
    const vaq::repair::RepairForm& repair() const { return *repair_; }
    // Runs the handler as a click by program would; its error reaches the caller.
    void run(vaq::window::Handler handler);
    // The window's end: closes the table-utility session, raising when the library refuses.
    void finish();

  private:
    std::shared_ptr<const pdx::Configuration> previous_;
    TerminalWindow window_;
    std::unique_ptr<vaq::db::Session> session1_;
    std::unique_ptr<vaq::db::Database> mainDatabase_;
    std::shared_ptr<vaq::repair::RepairForm> repair_;
};

}  // namespace vaq::shell
