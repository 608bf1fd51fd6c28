#include <cstdio>
#include <iostream>
#include <memory>
#include <new>

#include "console/console.h"
#include "console/menu.h"
#include "console/terminal.h"

int main() {
  int status = 0;
  std::unique_ptr<octets::Console> console;
  // Everything that may allocate is inside, so that memory running out is told.
  try {
    // The console flushes before every read, so standard output needs no tie
    // and no synchronisation with the C library's own buffers.
    std::ios::sync_with_stdio(false);
    std::cin.tie(nullptr);
    // A closed standard output is a lost one from the start: nothing is
    // written to the null device that stands in for it, and the status says so.
    std::ostream& output = octets::standard_output();
    if (!octets::prepare_process()) output.setstate(std::ios::badbit);
    console = std::make_unique<octets::Console>(octets::standard_input(), output,
                                                octets::standard_terminal());
    status = octets::run_menu(*console);
  } catch (const std::bad_alloc&) {
    // The open file, if any, was closed on the way here. The C library's
    // standard error needs no memory, whatever state the streams were left in.
    if (console) console->flush();
    std::fputs("octets : MEmoire insuffisante\n", stderr);
    return 1;
  }
  if (console->input_failed()) std::cerr << "octets : Lecture impossible sur l'entrEe standard\n";
  if (console->output_failed()) std::cerr << "octets : Ecriture impossible sur la sortie standard\n";
  return status;
}
