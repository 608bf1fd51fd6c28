#include <csignal>

#include "console/interruption.h"

namespace octets {
namespace {

// The console runs its handlers on a thread of their own: an interruption
// cannot be made to wait, only recorded.
constexpr int INTERRUPTIONS[] = {SIGINT, SIGTERM, SIGBREAK};
volatile std::sig_atomic_t received_signal = 0;
void (*previous_handlers[3])(int);

extern "C" void record_interruption(int signal) {
  if (received_signal == 0) received_signal = signal;
  // The runtime resets the handler before calling it.
  std::signal(signal, record_interruption);
}

}  // namespace

InterruptionShield::InterruptionShield() {
  received_signal = 0;
  for (int i = 0; i < 3; ++i) {
    previous_handlers[i] = std::signal(INTERRUPTIONS[i], record_interruption);
    // An interruption that was ignored stays ignored.
    if (previous_handlers[i] == SIG_IGN) std::signal(INTERRUPTIONS[i], SIG_IGN);
  }
}

InterruptionShield::~InterruptionShield() {
  for (int i = 0; i < 3; ++i) std::signal(INTERRUPTIONS[i], previous_handlers[i]);
  if (received_signal != 0) std::raise(received_signal);
}

bool InterruptionShield::interrupted() const { return received_signal != 0; }

}  // namespace octets
