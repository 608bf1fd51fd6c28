#include <signal.h>

#include <initializer_list>

#include "console/interruption.h"

namespace octets {
namespace {

sigset_t start_mask;

}  // namespace

InterruptionShield::InterruptionShield() {
  sigset_t held;
  sigfillset(&held);
  // A fault of the program's own ends it at once; the others here would not
  // end it at all.
  for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGCHLD, SIGCONT, SIGTSTP,
                     SIGTTIN, SIGTTOU, SIGURG, SIGWINCH}) {
    sigdelset(&held, signal);
  }
  sigprocmask(SIG_BLOCK, &held, &start_mask);
}

InterruptionShield::~InterruptionShield() { sigprocmask(SIG_SETMASK, &start_mask, nullptr); }

bool InterruptionShield::interrupted() const {
  sigset_t pending;
  sigpending(&pending);
  for (int signal = 1; signal < NSIG; ++signal) {
    // One blocked at start goes on waiting after the shield; one ignored, or
    // caught, shows as pending while it waits, yet would not end the program.
    struct sigaction action {};
    if (sigismember(&pending, signal) == 1 && sigismember(&start_mask, signal) == 0 &&
        sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_DFL) {
      return true;
    }
  }
  return false;
}

}  // namespace octets
