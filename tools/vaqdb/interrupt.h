#pragma once

// Ctrl-C as a request rather than the end of the process: while an InterruptRequest lives,
// SIGINT only sets a flag that the work in progress checks at a safe point (a record
// boundary). The handler that was there before comes back when it goes.

#include <csignal>

namespace vaq::shell {

class InterruptRequest {
  public:
    InterruptRequest();
    ~InterruptRequest();
    InterruptRequest(const InterruptRequest&) = delete;
    InterruptRequest& operator=(const InterruptRequest&) = delete;

    // Ctrl-C was pressed since this object was made.
    bool requested() const;
    // The same, for code that cannot reach the object (a callback of a library).
    static bool pending();

  private:
    struct sigaction previous_ {};
};

}  // namespace vaq::shell
