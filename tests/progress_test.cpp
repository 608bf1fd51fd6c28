#include "console/progress.h"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <utility>
#include <vector>

#include "test_support.h"

namespace octets {
namespace {

using namespace std::chrono_literals;
using Steps = std::vector<std::pair<std::chrono::milliseconds, std::int64_t>>;

std::chrono::steady_clock::time_point now;
std::chrono::steady_clock::time_point fake_clock() { return now; }

/// Runs a pass over `total` units: at each step the clock reads the step's time
/// since the start and the step's count is reported. Returns what was written,
/// each step followed by "|", then what finishing wrote.
std::string pass(Screen screen, std::int64_t total, const Steps& steps, int width = 80,
                 bool echoed = true) {
  test::ScriptedConsole scripted("");
  scripted.terminal.screen_kind = screen;
  scripted.terminal.line_columns = width;
  scripted.terminal.echoed = echoed;
  const auto start = std::chrono::steady_clock::time_point{} + 1h;
  now = start;
  {
    Progress progress(scripted.console, total, fake_clock);
    for (auto [at, done] : steps) {
      now = start + at;
      progress.update(done);
      scripted.out << '|';
    }
    progress.finish();
    // Nothing is shown once finished, and nothing is erased twice.
    now += 10s;
    progress.update(total);
  }
  return scripted.transcript();
}

const std::string ERASED = "\r      \r";

TEST(Progress, ShownAfterHalfASecondRewrittenAFewTimesASecondThenErased) {
  const Steps steps = {{0ms, 100},   {499ms, 200},   {500ms, 375},   {600ms, 500},
                       {699ms, 600}, {700ms, 610},   {5000ms, 999},  {5100ms, 1000}};
  for (Screen screen : {Screen::utf8_terminal, Screen::other_terminal, Screen::console}) {
    EXPECT_EQ(pass(screen, 1000, steps), "||\r  37 %|||\r  61 %|\r  99 %||" + ERASED);
  }
}

TEST(Progress, NothingWhenNotATerminalOrWhenQuick) {
  EXPECT_EQ(pass(Screen::none, 4, {{0ms, 1}, {2s, 2}, {60s, 3}}), "|||");
  // A pass done within half a second leaves nothing to erase.
  EXPECT_EQ(pass(Screen::utf8_terminal, 4, {{100ms, 2}, {499ms, 4}}), "||");
  // An empty file has nothing to count.
  EXPECT_EQ(pass(Screen::utf8_terminal, 0, {{1s, 0}}), "|");
  // A terminal that takes no control sequence gets no line to rewrite.
  EXPECT_EQ(pass(Screen::utf8_terminal, 4, {{1s, 2}}, 0), "|");
}

TEST(Progress, NeverWiderThanTheScreenAndErasedWhole) {
  // The last column stays free, so that the line cannot wrap.
  const Steps steps = {{1s, 5}, {2s, 50}, {3s, 100}};
  const std::pair<int, std::string> cases[] = {
      {7, "\r   5 %|\r  50 %|\r 100 %|\r      \r"},
      {6, "\r5 %|\r50 %|\r100 %|\r     \r"},
      {4, "\r5 %|\r50 |\r100|\r   \r"},
      {2, "\r5|\r5|\r1|\r \r"},
      {1, "|||"},
  };
  for (const auto& [width, shown] : cases) {
    EXPECT_EQ(pass(Screen::utf8_terminal, 100, steps, width), shown) << width;
  }
}

TEST(Progress, StartsOnARowOfItsOwnAfterPipedAnswers) {
  // Nothing ended the key prompt's row: the line must not overwrite it.
  EXPECT_EQ(pass(Screen::utf8_terminal, 100, {{1s, 5}, {2s, 50}}, 80, false),
            "\n\r   5 %|\r  50 %|" + ERASED);
  EXPECT_EQ(pass(Screen::console, 100, {{1s, 5}}, 80, false), "\n\r   5 %|" + ERASED);
  // A quick pass shows nothing, and so moves to no other row.
  EXPECT_EQ(pass(Screen::utf8_terminal, 100, {{100ms, 50}}, 80, false), "|");
}

TEST(Progress, StartsOnARowOfItsOwnAfterAnswersTypedAhead) {
  // Echoed answers that were there before their prompt: the echo came first.
  struct TypedAhead : test::StringSource {
    using StringSource::StringSource;
    bool ready() override { return ahead; }
    bool ahead = false;
  };
  for (bool ahead : {false, true}) {
    TypedAhead input("1\n");
    input.ahead = ahead;
    std::ostringstream out;
    test::FakeTerminal terminal;
    terminal.screen_kind = Screen::utf8_terminal;
    Console console(input, out, terminal);
    console.read_answer();
    now = {};
    Progress progress(console, 100, fake_clock);
    now += 1s;
    progress.update(5);
    EXPECT_EQ(out.str(), (ahead ? "\n" : "") + std::string("\r   5 %")) << ahead;
  }
}

TEST(Progress, PercentagesOfHugeAndTinyTotals) {
  constexpr std::int64_t HUGE_TOTAL = std::numeric_limits<std::int64_t>::max();
  EXPECT_EQ(pass(Screen::utf8_terminal, HUGE_TOTAL, {{1s, HUGE_TOTAL / 2}, {2s, HUGE_TOTAL}}),
            "\r  50 %|\r 100 %|" + ERASED);
  EXPECT_EQ(pass(Screen::utf8_terminal, 3, {{1s, 0}, {2s, 2}}), "\r   0 %|\r  66 %|" + ERASED);
}

}  // namespace
}  // namespace octets
