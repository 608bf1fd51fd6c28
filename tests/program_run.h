#pragma once

// The built program run by a shell with a piped standard input, in a fresh
// folder: its whole output, status and the files it leaves, byte for byte.
//
// OCTETS_PROGRAM names the command to run instead of the program built beside
// the tests (a Windows build under an emulator, say); OCTETS_LINE_END=crlf says
// that it follows the Windows text mode: CR LF line ends, and 0x1A ending a text
// that is read.

#include <string>

#include "test_support.h"

namespace octets::test {

/// The program built beside the tests, unless OCTETS_PROGRAM names another.
bool runs_built_program();

bool windows_line_ends();

/// Text as a text-mode stream of the program's platform writes it.
std::string text(const std::string& lines);

struct ProgramRun {
  std::string output;
  std::string errors;
  int status;
  Files files;
};

/// Runs the program on `input` in a folder holding `files`; returns what it
/// wrote and every file under the folder afterwards. `output` is the shell's
/// redirection of standard output: "out.bin" (the default) is read back, one
/// starting with "|" is a pipe into a command that must write out.bin.
ProgramRun run_program(const std::string& input, const Files& files = {},
                       const std::string& output = "out.bin");

}  // namespace octets::test
