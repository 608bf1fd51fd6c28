#include "console/progress.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace octets {
namespace {

// A pass shorter than this shows nothing, so that quick work leaves no flicker.
constexpr std::chrono::milliseconds FIRST_SHOWN{500};
constexpr std::chrono::milliseconds REWRITTEN_EVERY{200};

}  // namespace

Progress::Progress(Console& console, std::int64_t total, Clock clock)
    : console_(console),
      total_(total),
      clock_(clock),
      start_(clock()),
      // The line stops short of the last column: a terminal may wrap there,
      // and a carriage return would then go back to the wrong row.
      room_(console.line_width() - 1),
      enabled_(total > 0 && room_ > 0),
      on_prompt_row_(!console.input_echoed()) {}

void Progress::update(std::int64_t done) {
  if (!enabled_) return;
  auto now = clock_();
  if (shown_ ? now - shown_at_ < REWRITTEN_EVERY : now - start_ < FIRST_SHOWN) return;
  // In floating point, as done * 100 could overflow for the largest sizes.
  auto percent = static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total_));
  char line[16];
  int length = std::snprintf(line, sizeof line, "%4d %%", percent);
  // Where that is too wide, the number alone, then as much of it as fits.
  if (length > room_) length = std::snprintf(line, sizeof line, "%d %%", percent);
  length = std::min(length, room_);
  line[length] = '\0';
  if (on_prompt_row_) console_.write("\n");
  on_prompt_row_ = false;
  console_.write("\r");
  console_.write(line);
  shown_length_ = std::max(shown_length_, length);
  console_.flush();
  shown_ = true;
  shown_at_ = now;
}

void Progress::finish() {
  enabled_ = false;
  if (!shown_) return;
  // Everything ever shown is overwritten, then the cursor goes back.
  console_.write("\r");
  console_.write(std::string(static_cast<std::size_t>(shown_length_), ' '));
  console_.write("\r");
  console_.flush();
  shown_ = false;
}

}  // namespace octets
