#include <iostream>
#include <new>

#include "console/console.h"
#include "console/interruption.h"
#include "console/menu.h"
#include "console/terminal.h"

int main() {
  // The console flushes before every read, so standard output needs no tie
  // and no synchronisation with the C library's own buffers.
  std::ios::sync_with_stdio(false);
  std::cin.tie(nullptr);
  // A closed standard output is a lost one from the start: nothing is written
  // to the null device that stands in for it, and the status says so.
  if (!octets::prepare_process()) std::cout.setstate(std::ios::badbit);
  octets::Console console(octets::standard_input(), std::cout, octets::standard_terminal());
  octets::ExitStatus status = octets::ExitStatus::success();
  try {
    status = octets::run_menu(console);
  } catch (const std::bad_alloc&) {
    // The open file, if any, was closed on the way here.
    console.flush();
    std::cerr << "octets : MEmoire insuffisante\n";
    return 1;
  }
  if (console.input_failed()) std::cerr << "octets : Lecture impossible sur l'entrEe standard\n";
  if (console.output_failed()) std::cerr << "octets : Ecriture impossible sur la sortie standard\n";
  if (status.signal != 0) octets::end_by_signal(status.signal);
  return status.code;
}
