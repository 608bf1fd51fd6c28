#pragma once

// Signals that would end the program while a file is half rewritten, and how
// the program ends once it is safe. Each platform has its own source file.

namespace octets {

/// While one exists, an interruption does not end the process: the first is
/// recorded for the program to act on at a safe point. On POSIX that is every
/// signal that would end the process and can be caught (SIGINT, SIGTERM,
/// SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU,
/// SIGPIPE, SIGPOLL, the real-time signals and the rest), except the kernel's
/// notice that another program wants a leased file (SIGIO) and a real fault of
/// the program itself, which ends it at once; on Windows, Ctrl-C, Ctrl-Break
/// and SIGTERM; the two signals the C library keeps for itself (32 and 33)
/// included, through the system call. An interruption that was ignored or
/// blocked when the shield went up stays so. The previous handling and mask
/// come back when it goes.
class InterruptionShield {
 public:
  InterruptionShield();
  ~InterruptionShield();
  InterruptionShield(const InterruptionShield&) = delete;
  InterruptionShield& operator=(const InterruptionShield&) = delete;

  /// The signal received since the shield went up, or 0.
  int received() const;

  /// True once the system itself has sent SIGIO since the shield went up, as
  /// it does when another program wants a file the program holds a lease on.
  /// Always false on Windows.
  bool notified() const;

  /// From block() to unblock(), interruptions wait at the system, so that what
  /// runs between (the last checks and the message that tells of success) is
  /// all before or all after one; those that came are received() after it.
  /// unblock() lets in only what block() held. Windows cannot make them wait:
  /// there they are no-ops.
  void block();
  void unblock();
};

/// What an operation tells the menu when it returns: the signal it held back
/// while it rewrote a file, which should now end the program, or none.
struct Interruption {
  int signal = 0;
  explicit operator bool() const { return signal != 0; }
};

/// Ends the process as the signal would have ended it, had it not been held
/// back while a file was being rewritten.
[[noreturn]] void end_by_signal(int signal);

/// How the program ends: 0, 1 when some of the dialogue could not be written or
/// its input read, or as a signal that arrived during an operation asks.
struct ExitStatus {
  static ExitStatus success() { return {0, 0}; }
  static ExitStatus failure() { return {1, 0}; }
  static ExitStatus ended_by(int signal) { return {128 + signal, signal}; }
  /// The status a shell sees: 0, 1, or 128 and the signal's number.
  int code;
  /// The signal to end by, or 0.
  int signal;
};

}  // namespace octets
