#pragma once

// Signals that would end the program while a file is half rewritten. Each
// platform has its own source file.

namespace octets {

/// While one exists, the signals that would end the program wait instead: on
/// POSIX every one that can be blocked but those a fault of the program itself
/// raises (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS); on Windows,
/// Ctrl-C, Ctrl-Break and SIGTERM. When it goes, what the program had at start
/// comes back, and a signal that waited ends the program as it would have (on
/// POSIX its default action: status 128 + its number, a core where it makes
/// one). A signal ignored or blocked at start stays so and never counts.
class InterruptionShield {
 public:
  InterruptionShield();
  ~InterruptionShield();
  InterruptionShield(const InterruptionShield&) = delete;
  InterruptionShield& operator=(const InterruptionShield&) = delete;

  /// True once a signal waits that will end the program when the shield goes.
  bool interrupted() const;
};

}  // namespace octets
