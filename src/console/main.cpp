#include <iostream>
#include <new>

#include "console/console.h"
#include "console/menu.h"
#include "console/platform.h"
#include "files/current_file.h"

int main() {
  // The console flushes before every read, so standard output needs no tie
  // and no synchronisation with the C library's own buffers.
  std::ios::sync_with_stdio(false);
  std::cin.tie(nullptr);
  // A closed standard output is a lost one from the start: nothing is written
  // to the null device that stands in for it, and the status says so.
  if (!octets::prepare_process()) std::cout.setstate(std::ios::badbit);
  octets::Console console(octets::standard_input(), std::cout, octets::standard_terminal());
  int status = 0;
  try {
    status = octets::run_menu(console);
  } catch (const std::bad_alloc&) {
    octets::close_current_file();
    std::cout.flush();
    std::cerr << "octets : MEmoire insuffisante\n";
    return 1;
  }
  if (console.input_failed()) std::cerr << "octets : Lecture impossible sur l'entrEe standard\n";
  if (console.output_failed()) std::cerr << "octets : Ecriture impossible sur la sortie standard\n";
  if (status > 128) octets::end_by_signal(status - 128);
  return status;
}
