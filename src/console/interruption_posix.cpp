#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <initializer_list>

#include "console/interruption.h"

namespace octets {
namespace {

volatile std::sig_atomic_t received_signal = 0;
struct sigaction previous_actions[NSIG];
bool shielded[NSIG];

// Signal masks as the kernel takes them, one bit a signal: the C library will
// neither add nor block the two signals it keeps for its threads (32 and 33).
using KernelSet = std::uint64_t;
static_assert(NSIG - 1 <= 64, "one bit a signal");
constexpr KernelSet bit(int signal) { return KernelSet{1} << (signal - 1); }

/// The shielded signals, with a handler each.
KernelSet interruptions = 0;
/// The C library's own signals, which take no handler: blocked for the shield's
/// life instead, and looked for among those waiting.
KernelSet held_back = 0;
/// What block() added to the mask, for unblock() to take away.
KernelSet blocked_here = 0;

KernelSet change_mask(int how, KernelSet set) {
  KernelSet before = 0;
  ::syscall(SYS_rt_sigprocmask, how, &set, &before, sizeof(KernelSet));
  return before;
}

/// Whether the signal's handling is the default one, read from the kernel's
/// own record, whose first field is the handler.
bool handled_by_default(int signal) {
  struct {
    void (*handler)(int);
    unsigned long rest[8];
  } action{};
  return ::syscall(SYS_rt_sigaction, signal, nullptr, &action, sizeof(KernelSet)) == 0 &&
         action.handler == SIG_DFL;
}

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
  change_mask(SIG_UNBLOCK, bit(signal));
  // raise() refuses the C library's own signals; kill() sends any.
  ::kill(::getpid(), signal);
  // Only a signal that cannot end the process comes back here.
  ::_exit(128 + signal);
}

InterruptionShield::InterruptionShield() {
  received_signal = 0;
  struct sigaction record {};
  record.sa_sigaction = record_interruption;
  sigemptyset(&record.sa_mask);
  record.sa_flags = SA_SIGINFO | SA_RESTART;
  interruptions = held_back = blocked_here = 0;
  // A signal blocked by whoever started the program stays blocked: it cannot
  // come during the pass, nor after it.
  const KernelSet blocked_at_start = change_mask(SIG_BLOCK, 0);
  for (int signal = 1; signal <= SIGRTMAX; ++signal) {
    shielded[signal] = false;
    if (!ends_process(signal) || (blocked_at_start & bit(signal)) != 0) continue;
    // A signal ignored by whoever started the program (a background job, nohup)
    // stays ignored: looked at first, so that it is never caught meanwhile.
    if (::sigaction(signal, nullptr, &previous_actions[signal]) != 0) {
      // The C library's own signals: those that would end the program wait at
      // the system until the shield goes.
      if (handled_by_default(signal)) held_back |= bit(signal);
      continue;
    }
    if (previous_actions[signal].sa_handler == SIG_IGN) continue;
    shielded[signal] = ::sigaction(signal, &record, nullptr) == 0;
    if (shielded[signal]) interruptions |= bit(signal);
  }
  change_mask(SIG_BLOCK, held_back);
}

InterruptionShield::~InterruptionShield() {
  for (int signal = 1; signal <= SIGRTMAX; ++signal) {
    if (shielded[signal]) ::sigaction(signal, &previous_actions[signal], nullptr);
  }
  // The one received is taken, so that the program ends by it once it has told
  // what it did; any other ends the program as soon as it is let in.
  if (received_signal != 0 && (held_back & bit(received_signal)) != 0) {
    KernelSet taken = bit(received_signal);
    const timespec now{};
    ::syscall(SYS_rt_sigtimedwait, &taken, nullptr, &now, sizeof(KernelSet));
  }
  change_mask(SIG_UNBLOCK, held_back);
}

int InterruptionShield::received() const {
  if (received_signal == 0 && held_back != 0) {
    KernelSet waiting = 0;
    ::syscall(SYS_rt_sigpending, &waiting, sizeof(KernelSet));
    waiting &= held_back;
    for (int signal = 1; waiting != 0 && received_signal == 0; ++signal) {
      if ((waiting & bit(signal)) != 0) received_signal = signal;
    }
  }
  return received_signal;
}

void InterruptionShield::block() {
  blocked_here = interruptions & ~change_mask(SIG_BLOCK, interruptions);
}

void InterruptionShield::unblock() {
  change_mask(SIG_UNBLOCK, blocked_here);
  blocked_here = 0;
}

}  // namespace octets
