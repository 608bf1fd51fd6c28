#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>

#include "console/interruption.h"

namespace octets {
namespace {

volatile std::sig_atomic_t received_signal = 0;
struct sigaction previous_actions[NSIG];
bool shielded[NSIG];
sigset_t interruptions;

/// Whether the signal would end the process by default (or dump its core)
/// and can be caught: all but these, which cannot be caught, are ignored, or
/// stop the process.
bool ends_process(int signal) {
  for (int other : {SIGKILL, SIGSTOP, SIGCHLD, SIGCONT, SIGTSTP, SIGTTIN, SIGTTOU, SIGURG,
                    SIGWINCH}) {
    if (signal == other) return false;
  }
  return true;
}

/// A signal by which the system reports a fault of the program itself, when it
/// is not sent by another program.
bool own_fault(int signal, const siginfo_t* info) {
  for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT}) {
    if (signal == fault) return info->si_code > 0 || info->si_pid == ::getpid();
  }
  return false;
}

extern "C" void record_interruption(int signal, siginfo_t* info, void*) {
  // The kernel's own SIGIO tells that another program wants the leased file;
  // the pass asks the lease itself. One sent by a program has a code of 0 or
  // less, and no program can forge a kernel's.
  if (signal == SIGIO && info->si_code > 0) return;
  if (own_fault(signal, info)) {
    // Ends the process as the fault asks once the handler returns.
    std::signal(signal, SIG_DFL);
    ::raise(signal);
    return;
  }
  if (received_signal == 0) received_signal = signal;
}

}  // namespace

void end_by_signal(int signal) {
  // The default action, a core dump included (SIGQUIT, SIGXCPU), is taken.
  std::signal(signal, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(signal);
  // Only a signal that cannot end the process comes back here.
  ::_exit(128 + signal);
}

InterruptionShield::InterruptionShield() {
  received_signal = 0;
  struct sigaction record {};
  record.sa_sigaction = record_interruption;
  sigemptyset(&record.sa_mask);
  record.sa_flags = SA_SIGINFO | SA_RESTART;
  sigemptyset(&interruptions);
  for (int signal = 1; signal <= SIGRTMAX; ++signal) {
    shielded[signal] = false;
    // A signal ignored by whoever started the program (a background job, nohup)
    // stays ignored: looked at first, so that it is never caught meanwhile.
    // The C library keeps a few real-time signals for itself: those refuse.
    if (!ends_process(signal) || ::sigaction(signal, nullptr, &previous_actions[signal]) != 0 ||
        previous_actions[signal].sa_handler == SIG_IGN) {
      continue;
    }
    shielded[signal] = ::sigaction(signal, &record, nullptr) == 0;
    if (shielded[signal]) sigaddset(&interruptions, signal);
  }
}

InterruptionShield::~InterruptionShield() {
  for (int signal = 1; signal <= SIGRTMAX; ++signal) {
    if (shielded[signal]) ::sigaction(signal, &previous_actions[signal], nullptr);
  }
}

int InterruptionShield::received() const { return received_signal; }

void InterruptionShield::block() { ::sigprocmask(SIG_BLOCK, &interruptions, nullptr); }

void InterruptionShield::unblock() { ::sigprocmask(SIG_UNBLOCK, &interruptions, nullptr); }

}  // namespace octets
