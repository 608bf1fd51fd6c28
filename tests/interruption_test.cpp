#include "console/interruption.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <csignal>

namespace octets {
namespace {

bool blocked(int signal) {
  sigset_t mask;
  sigprocmask(SIG_BLOCK, nullptr, &mask);
  return sigismember(&mask, signal) == 1;
}

// A signal raised while the shield is up waits: only one that would end the
// program counts, and it is taken here before the shield goes, as it would
// end this test's own process.
TEST(InterruptionShield, CountsOnlyASignalThatWouldEndTheProgram) {
  struct Case {
    int signal;
    bool ignored_at_start;
    bool blocked_at_start;
    bool interrupts;
  };
  const Case cases[] = {
      {SIGINT, false, false, true},   {SIGTERM, false, false, true},
      {SIGRTMIN, false, false, true}, {SIGUSR1, true, false, false},
      {SIGUSR2, false, true, false},  {SIGWINCH, false, false, false},
  };
  for (const Case& c : cases) {
    if (c.ignored_at_start) std::signal(c.signal, SIG_IGN);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, c.signal);
    if (c.blocked_at_start) sigprocmask(SIG_BLOCK, &one, nullptr);
    {
      InterruptionShield shield;
      EXPECT_FALSE(shield.interrupted()) << c.signal;
      // A fault of the program's own is never held.
      EXPECT_FALSE(blocked(SIGSEGV));
      std::raise(c.signal);
      EXPECT_EQ(shield.interrupted(), c.interrupts) << c.signal;
      int taken = 0;
      if (c.interrupts) sigwait(&one, &taken);
    }
    // What the program had at start is back.
    EXPECT_EQ(blocked(c.signal), c.blocked_at_start) << c.signal;
    if (c.blocked_at_start) {
      int taken = 0;
      sigwait(&one, &taken);
      sigprocmask(SIG_UNBLOCK, &one, nullptr);
    }
    std::signal(c.signal, SIG_DFL);
  }
}

}  // namespace
}  // namespace octets
