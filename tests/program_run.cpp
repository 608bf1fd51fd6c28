#include "program_run.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "test_support.h"

namespace octets::test {

namespace {

std::string program() {
  const char* chosen = std::getenv("OCTETS_PROGRAM");
  return chosen != nullptr ? chosen : "'" OCTETS_BUILT_PROGRAM "'";
}

}  // namespace

bool runs_built_program() { return std::getenv("OCTETS_PROGRAM") == nullptr; }

bool windows_line_ends() {
  const char* line_end = std::getenv("OCTETS_LINE_END");
  return line_end != nullptr && std::string(line_end) == "crlf";
}

std::string text(const std::string& lines) {
  if (!windows_line_ends()) return lines;
  std::string converted;
  for (char c : lines) {
    if (c == '\n') converted += '\r';
    converted += c;
  }
  return converted;
}

ProgramRun run_program(const std::string& input, const Files& files, const std::string& output) {
  TemporaryFolder folder;
  std::filesystem::create_directory("work");
  lay_files("work", files);
  // Typed as the platform ends its lines, which a text-mode input takes back.
  write_file("input", text(input));
  // An output starting with "|" is a pipe into a command that writes out.bin.
  bool piped = output[0] == '|';
  std::string command = "cd work && cat ../input | " + program() + " 2> ../errors" +
                        (piped ? " " : " >") + output;
  int status = std::system(command.c_str());
  ProgramRun run{"", read_file("errors"), WIFEXITED(status) ? WEXITSTATUS(status) : -1, {}};
  if (output == "out.bin" || piped) {
    run.output = read_file("work/out.bin");
    std::filesystem::remove("work/out.bin");
  }
  run.files = files_in("work");
  return run;
}

}  // namespace octets::test
