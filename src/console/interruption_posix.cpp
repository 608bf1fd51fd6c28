#include <signal.h>
#include <unistd.h>

#include <csignal>

#include "console/interruption.h"

namespace octets {
namespace {

constexpr int INTERRUPTIONS[] = {SIGINT, SIGTERM, SIGHUP};
volatile std::sig_atomic_t received_signal = 0;
struct sigaction previous_actions[3];

extern "C" void record_interruption(int signal) {
  if (received_signal == 0) received_signal = signal;
}

}  // namespace

void end_by_signal(int signal) {
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
  record.sa_handler = record_interruption;
  sigemptyset(&record.sa_mask);
  record.sa_flags = SA_RESTART;
  for (int i = 0; i < 3; ++i) {
    ::sigaction(INTERRUPTIONS[i], nullptr, &previous_actions[i]);
    // A signal ignored by whoever started the program (a background job, nohup)
    // stays ignored.
    if (previous_actions[i].sa_handler == SIG_IGN) continue;
    ::sigaction(INTERRUPTIONS[i], &record, nullptr);
  }
}

InterruptionShield::~InterruptionShield() {
  for (int i = 0; i < 3; ++i) ::sigaction(INTERRUPTIONS[i], &previous_actions[i], nullptr);
}

int InterruptionShield::received() const { return received_signal; }

}  // namespace octets
