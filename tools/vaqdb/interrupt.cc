#include "tools/vaqdb/interrupt.h"

namespace vaq::shell {

namespace {

volatile std::sig_atomic_t interrupted = 0;

void note_interrupt(int) {
    interrupted = 1;
}

}  // namespace

InterruptRequest::InterruptRequest() {
    interrupted = 0;
    struct sigaction action {};
    action.sa_handler = note_interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_);
}

InterruptRequest::~InterruptRequest() {
    sigaction(SIGINT, &previous_, nullptr);
}

bool InterruptRequest::requested() const {
    return interrupted != 0;
}

bool InterruptRequest::pending() {
    return interrupted != 0;
}

}  // namespace vaq::shell
