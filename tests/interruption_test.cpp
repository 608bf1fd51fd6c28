#include "console/interruption.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <csignal>

namespace octets {
namespace {

using Handler = void (*)(int);

Handler disposition(int signal) {
  struct sigaction action {};
  sigaction(signal, nullptr, &action);
  return action.sa_handler;
}

extern "C" void counting_handler(int) {}

// A signal raised inside the shield would end this test's own process.
TEST(InterruptionShield, HoldsEachInterruptionAndKeepsTheFirst) {
  std::signal(SIGHUP, counting_handler);
  {
    InterruptionShield shield;
    EXPECT_EQ(shield.received(), 0);
    std::raise(SIGTERM);
    std::raise(SIGINT);
    std::raise(SIGHUP);
    EXPECT_EQ(shield.received(), SIGTERM);
  }
  // What was there before comes back, a handler of the program's as well.
  EXPECT_EQ(disposition(SIGINT), SIG_DFL);
  EXPECT_EQ(disposition(SIGTERM), SIG_DFL);
  EXPECT_EQ(disposition(SIGHUP), &counting_handler);
  std::signal(SIGHUP, SIG_DFL);
  // A new shield starts with nothing received.
  InterruptionShield again;
  EXPECT_EQ(again.received(), 0);
}

TEST(InterruptionShield, HoldsEverySignalThatWouldEndTheProgram) {
  for (int signal : {SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGPIPE,
                     SIGIO, SIGRTMIN, SIGRTMAX}) {
    InterruptionShield shield;
    std::raise(signal);
    EXPECT_EQ(shield.received(), signal);
  }
  // Blocked, a signal waits at the system until the shield lets it in.
  InterruptionShield shield;
  shield.block();
  std::raise(SIGUSR2);
  EXPECT_EQ(shield.received(), 0);
  shield.unblock();
  EXPECT_EQ(shield.received(), SIGUSR2);
}

TEST(InterruptionShield, SignalIgnoredAtStartStaysIgnored) {
  for (int signal : {SIGINT, SIGUSR1, SIGRTMIN}) {
    std::signal(signal, SIG_IGN);
    {
      InterruptionShield shield;
      EXPECT_EQ(disposition(signal), SIG_IGN);
      std::raise(signal);
      EXPECT_EQ(shield.received(), 0);
    }
    EXPECT_EQ(disposition(signal), SIG_IGN);
    std::signal(signal, SIG_DFL);
  }
}

}  // namespace
}  // namespace octets
