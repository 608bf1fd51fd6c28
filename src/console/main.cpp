#include <iostream>

#include "console/console.h"
#include "console/menu.h"
#include "console/platform.h"

int main() {
  // The console flushes before every read, so standard output needs no tie
  // and no synchronisation with the C library's own buffers.
  std::ios::sync_with_stdio(false);
  std::cin.tie(nullptr);
  octets::Console console(octets::standard_input(), std::cout, octets::standard_terminal());
  int status = octets::run_menu(console);
  if (status != 0) std::cerr << "octets : Ecriture impossible sur la sortie standard\n";
  return status;
}
