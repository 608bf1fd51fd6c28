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
volatile std::sig_atomic_t notice_received = 0;

// Signal masks as the kernel takes them, one bit a signal: the C library will
// neither add nor block the two signals it keeps for its threads (32 and 33).
using KernelSet = std::uint64_t;
static_assert(NSIG - 1 <= 64, "one bit a signal");
constexpr KernelSet bit(int signal) { return KernelSet{1} << (signal - 1); }

KernelSet change_mask(int how, KernelSet set) {
  KernelSet before = 0;
  ::syscall(SYS_rt_sigprocmask, how, &set, &before, sizeof(KernelSet));
  return before;
}

/// The kernel's own record of how a signal is handled. Its first field is the
/// handler; the rest (flags, the C library's return trampoline, the mask) is
/// only ever copied whole.
struct KernelAction {
  void (*handler)(int);
  unsigned long rest[8];
};

int kernel_action(int signal, const KernelAction* action, KernelAction* previous) {
  return static_cast<int>(
      ::syscall(SYS_rt_sigaction, signal, action, previous, sizeof(KernelSet)));
}

struct sigaction previous_actions[NSIG];
/// For the C library's own signals, which it will not touch: the kernel's.
KernelAction previous_kernel_actions[NSIG];
bool shielded[NSIG];
bool shielded_by_kernel[NSIG];
/// The shielded signals.
KernelSet interruptions = 0;
/// What block() added to the mask, for unblock() to take away.
KernelSet blocked_here = 0;

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
  // the pass then asks the lease itself. One sent by a program has a code of 0
  // or less, and no program can forge a kernel's.
  if (signal == SIGIO && info->si_code > 0) {
    notice_received = 1;
    return;
  }
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
  notice_received = 0;
  interruptions = blocked_here = 0;
  // A signal blocked by whoever started the program stays blocked: it cannot
  // come during the pass, nor after it.
  const KernelSet blocked_at_start = change_mask(SIG_BLOCK, 0);
  // The kernel's record of the handler, as the C library sets it up.
  KernelAction caught{};
  bool caught_known = false;
  for (int signal = 1; signal <= SIGRTMAX; ++signal) {
    shielded[signal] = shielded_by_kernel[signal] = false;
    if (!ends_process(signal) || (blocked_at_start & bit(signal)) != 0) continue;
    // A signal ignored by whoever started the program (a background job, nohup)
    // stays ignored: looked at first, so that it is never caught meanwhile.
    if (::sigaction(signal, nullptr, &previous_actions[signal]) == 0) {
      if (previous_actions[signal].sa_handler == SIG_IGN) continue;
      shielded[signal] = ::sigaction(signal, &record, nullptr) == 0;
      if (shielded[signal] && !caught_known) {
        caught_known = kernel_action(signal, nullptr, &caught) == 0;
      }
    } else if (caught_known &&
               kernel_action(signal, nullptr, &previous_kernel_actions[signal]) == 0 &&
               previous_kernel_actions[signal].handler == SIG_DFL) {
      // The C library keeps 32 and 33 for its threads and refuses them a
      // handler. The kernel takes the one it set up for another signal, its
      // return trampoline included.
      shielded[signal] = shielded_by_kernel[signal] = kernel_action(signal, &caught, nullptr) == 0;
    }
    if (shielded[signal]) interruptions |= bit(signal);
  }
}

InterruptionShield::~InterruptionShield() {
  for (int signal = 1; signal <= SIGRTMAX; ++signal) {
    if (shielded_by_kernel[signal]) {
      kernel_action(signal, &previous_kernel_actions[signal], nullptr);
    } else if (shielded[signal]) {
      ::sigaction(signal, &previous_actions[signal], nullptr);
    }
  }
}

int InterruptionShield::received() const { return received_signal; }

bool InterruptionShield::notified() const { return notice_received != 0; }

void InterruptionShield::block() {
  blocked_here = interruptions & ~change_mask(SIG_BLOCK, interruptions);
}

void InterruptionShield::unblock() {
  change_mask(SIG_UNBLOCK, blocked_here);
  blocked_here = 0;
}

}  // namespace octets
