#pragma once

#include <chrono>
#include <cstdint>

#include "console/console.h"

namespace octets {

/// A percentage on one line of the screen while a long pass runs: shown only
/// when standard output is a terminal that takes control sequences, or a
/// console, and the pass has lasted more than half a second; rewritten a few
/// times a second, never wider than the screen, and erased at the end so that
/// the screen holds only the dialogue. When the last answer was not echoed after
/// its prompt (piped in, typed ahead), the cursor may still be on the prompt's
/// row: the line then first ends that row, so that it never overwrites it.
class Progress {
 public:
  using Clock = std::chrono::steady_clock::time_point (*)();

  /// Starts timing a pass over `total` units. The clock is replaceable for tests.
  Progress(Console& console, std::int64_t total, Clock clock = std::chrono::steady_clock::now);
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  ~Progress() { finish(); }

  /// Says that `done` of the units are done.
  void update(std::int64_t done);

  /// Erases the line if it was shown; the cursor is back at the start of its row.
  void finish();

 private:
  Console& console_;
  std::int64_t total_;
  Clock clock_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point shown_at_;
  /// The most characters the line may hold.
  int room_;
  bool enabled_;
  bool on_prompt_row_;
  bool shown_ = false;
  int shown_length_ = 0;
};

}  // namespace octets
