#include "console/progress.h"

#include <gtest/gtest.h>

#include <limits>

#include "test_support.h"

namespace octets {
namespace {

using namespace std::chrono_literals;
using testing::ScriptedConsole;

std::chrono::steady_clock::time_point now;
std::chrono::steady_clock::time_point fake_clock() { return now; }

struct Step {
  std::chrono::milliseconds at;
  std::int64_t done;
  /// What the step adds to the output.
  std::string shown;
};

/// Runs a pass over `total` units through the steps, then finishes it; returns
/// what each step wrote, and what the finish wrote last.
std::vector<std::string> pass(Screen screen, std::int64_t total, const std::vector<Step>& steps) {
  ScriptedConsole scripted("");
  scripted.terminal.screen_kind = screen;
  now = std::chrono::steady_clock::time_point{} + 1h;
  auto start = now;
  std::vector<std::string> written;
  std::size_t before = 0;
  auto take_new = [&] {
    std::string all = scripted.transcript();
    written.push_back(all.substr(before));
    before = all.size();
  };
  {
    Progress progress(scripted.console, total, fake_clock);
    for (const Step& step : steps) {
      now = start + step.at;
      progress.update(step.done);
      take_new();
    }
    progress.finish();
    take_new();
    // Nothing is shown once the pass has finished, nor erased twice.
    now += 10s;
    progress.update(total);
  }
  take_new();
  EXPECT_EQ(written.back(), "");
  written.pop_back();
  return written;
}

std::vector<std::string> expected(const std::vector<Step>& steps, const std::string& erased) {
  std::vector<std::string> shown;
  for (const Step& step : steps) shown.push_back(step.shown);
  shown.push_back(erased);
  return shown;
}

const std::string ERASED = "\r      \r";

TEST(Progress, ShownAfterHalfASecondRewrittenAFewTimesASecondThenErased) {
  const std::vector<Step> steps = {
      {0ms, 100, ""},           {499ms, 200, ""},         {500ms, 375, "\r  37 %"},
      {600ms, 500, ""},         {699ms, 600, ""},         {700ms, 610, "\r  61 %"},
      {5000ms, 999, "\r  99 %"}, {5100ms, 1000, ""},
  };
  for (Screen screen : {Screen::utf8_terminal, Screen::other_terminal, Screen::console}) {
    EXPECT_EQ(pass(screen, 1000, steps), expected(steps, ERASED)) << static_cast<int>(screen);
  }
}

TEST(Progress, NothingWhenNotATerminalOrWhenQuick) {
  const std::vector<Step> slow = {{0ms, 1, ""}, {2s, 2, ""}, {60s, 3, ""}};
  EXPECT_EQ(pass(Screen::none, 4, slow), expected(slow, ""));
  // A pass done within half a second leaves nothing to erase.
  const std::vector<Step> quick = {{100ms, 2, ""}, {499ms, 4, ""}};
  EXPECT_EQ(pass(Screen::utf8_terminal, 4, quick), expected(quick, ""));
  // An empty file has nothing to count.
  EXPECT_EQ(pass(Screen::utf8_terminal, 0, {{1s, 0, ""}}), expected({{1s, 0, ""}}, ""));
}

TEST(Progress, PercentagesOfHugeAndTinyTotals) {
  constexpr std::int64_t HUGE_TOTAL = std::numeric_limits<std::int64_t>::max();
  const std::vector<Step> huge = {{1s, HUGE_TOTAL / 2, "\r  50 %"},
                                  {2s, HUGE_TOTAL, "\r 100 %"}};
  EXPECT_EQ(pass(Screen::utf8_terminal, HUGE_TOTAL, huge), expected(huge, ERASED));
  const std::vector<Step> tiny = {{1s, 0, "\r   0 %"}, {2s, 2, "\r  66 %"}};
  EXPECT_EQ(pass(Screen::utf8_terminal, 3, tiny), expected(tiny, ERASED));
}

}  // namespace
}  // namespace octets
