#pragma once

// The built program as a process of its own, with its standard input, output
// and error on pipes of the test: typed to, read while it runs, signalled, and
// waited for.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace octets::test {

/// How the program is started. Signal handling is the default one, as a shell
/// gives it.
struct Launch {
  /// Settings added to the environment, as "NAME=value".
  std::vector<std::string> environment;
  bool nonblocking_input = false;
  /// Standard output left non-blocking, as another program may leave it.
  bool nonblocking_output = false;
  /// Signals blocked at start, as a parent's mask is inherited.
  std::vector<int> blocked_signals = {};
};

class RunningProgram {
 public:
  using Options = Launch;
  /// Starts the program in `folder`.
  explicit RunningProgram(const std::filesystem::path& folder) : RunningProgram(folder, Launch{}) {}
  RunningProgram(const std::filesystem::path& folder, const Options& options);
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;
  ~RunningProgram();

  void type(const std::string& text);

  /// Closes the reading end of the program's standard output, as a reader
  /// that goes away does.
  void close_output();

  /// Reads what output comes within 100 ms.
  void read_output();

  /// Reads the output until it ends with `text`; false after 10 s or at its end.
  bool wait_for(const std::string& text);

  /// Ends the input, reads everything the program writes and waits for its end;
  /// returns its status as a shell gives it (128 + the signal that ended it).
  int finish();

  pid_t pid() const { return pid_; }
  std::string output;
  std::string errors;
  /// The signal that ended the program, once finished; 0 when it exited.
  int ended_by = 0;

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
};

/// False in builds where no library can be preloaded (the sanitizers').
bool can_inject_faults();
/// The environment setting that preloads the fault library into the program.
std::string fault_preload();

}  // namespace octets::test
