#include "console/progress.h"

#include <cstdio>

namespace octets {
namespace {

// A pass shorter than this shows nothing, so that quick work leaves no flicker.
constexpr std::chrono::milliseconds FIRST_SHOWN{500};
constexpr std::chrono::milliseconds REWRITTEN_EVERY{200};
// Carriage return, "100 %" at most, carriage return: the line it leaves erased.
constexpr const char* ERASED = "\r      \r";

}  // namespace

Progress::Progress(Console& console, std::int64_t total, Clock clock)
    : console_(console),
      total_(total),
      clock_(clock),
      start_(clock()),
      enabled_(total > 0 && console.screen() != Screen::none) {}

void Progress::update(std::int64_t done) {
  if (!enabled_) return;
  auto now = clock_();
  if (shown_ ? now - shown_at_ < REWRITTEN_EVERY : now - start_ < FIRST_SHOWN) return;
  // In floating point, as done * 100 could overflow for the largest sizes.
  auto percent = static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total_));
  char line[16];
  std::snprintf(line, sizeof line, "\r%4d %%", percent);
  console_.write(line);
  console_.flush();
  shown_ = true;
  shown_at_ = now;
}

void Progress::finish() {
  enabled_ = false;
  if (!shown_) return;
  console_.write(ERASED);
  console_.flush();
  shown_ = false;
}

}  // namespace octets
