#include "console/console.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

#include "test_support.h"

namespace octets {
namespace {

using test::ScriptedConsole;

TEST(Console, ReadLineIsBoundedAndLeavesTheRestPending) {
  // The same input handed over whole, a byte at a time, and in odd pieces.
  for (std::size_t piece : {std::size_t{1000}, std::size_t{1}, std::size_t{7}}) {
    ScriptedConsole scripted("abcdefgh\nij", piece);
    char buffer[5];
    EXPECT_EQ(scripted.console.read_line(buffer, sizeof buffer), 4u);
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(scripted.console.read_line(buffer, sizeof buffer), 4u);
    EXPECT_STREQ(buffer, "efgh");
    EXPECT_EQ(scripted.console.read_line(buffer, sizeof buffer), 1u);
    EXPECT_STREQ(buffer, "\n");
    EXPECT_EQ(scripted.console.read_line(buffer, sizeof buffer), 2u);
    EXPECT_STREQ(buffer, "ij");
    EXPECT_EQ(scripted.console.read_line(buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "");
  }
}

TEST(Console, EndOfInputStaysEnded) {
  ScriptedConsole scripted("");
  char buffer[10];
  EXPECT_EQ(scripted.console.read_line(buffer, sizeof buffer), 0u);
  EXPECT_EQ(scripted.console.read_char(), std::nullopt);
  EXPECT_EQ(scripted.console.read_number(), std::nullopt);
  EXPECT_TRUE(scripted.console.at_end());
  scripted.console.discard_pending_input();
  // A terminal may hand over more after an end of input; it is never asked again.
  EXPECT_EQ(scripted.source.reads_at_end(), 1);
}

TEST(Console, DiscardDropsOnlyABegunLine) {
  char name[NAME_CAPACITY];
  struct Case {
    std::string input;
    std::function<void(Console&)> read;
    std::optional<char> next_after_discard;
  };
  const Case cases[] = {
      // Nothing of the next line was looked at: it is kept.
      {"5\nnext\n", [](Console& c) { EXPECT_EQ(c.read_answer(), '5'); }, 'n'},
      // The rest of a line read in part is dropped, line end included.
      {std::string(40, 'a').append("\nnext\n"),
       [&name](Console& c) { EXPECT_EQ(c.read_line(name, sizeof name), 29u); }, 'n'},
      // A line whose first character was taken is begun.
      {"y5\n8\n", [](Console& c) { EXPECT_EQ(c.read_char(), 'y'); }, '8'},
      // A line cut by the end of input is dropped up to that end, without waiting.
      {"abc", [](Console& c) { EXPECT_EQ(c.read_char(), 'a'); }, std::nullopt},
  };
  for (const Case& c : cases) {
    ScriptedConsole scripted(c.input);
    c.read(scripted.console);
    scripted.console.discard_pending_input();
    EXPECT_EQ(scripted.console.read_char(), c.next_after_discard) << "input: " << c.input;
  }
}

TEST(Console, OutputIsFlushedBeforeEveryWaitAndClear) {
  class FlushCounter : public std::stringbuf {
   public:
    int syncs = 0;

   protected:
    int sync() override {
      ++syncs;
      return 0;
    }
  };
  FlushCounter buffer;
  std::ostream out(&buffer);
  test::StringSource source("\n");
  // A console draws its symbols at once, past what standard output holds.
  struct DrawingTerminal : test::FakeTerminal {
    explicit DrawingTerminal(const FlushCounter& buffer) : buffer(buffer) {}
    void write_symbols(std::ostream&, std::string_view) override {
      syncs_when_drawn = buffer.syncs;
    }
    const FlushCounter& buffer;
    int syncs_when_drawn = -1;
  } terminal(buffer);
  Console console(source, out, terminal);
  console.write("prompt");
  EXPECT_EQ(buffer.syncs, 0);
  console.read_char();  // waits for input
  EXPECT_EQ(buffer.syncs, 1);
  console.clear_screen();
  EXPECT_EQ(buffer.syncs, 2);
  console.write("heading");
  console.write_symbols("\u2190");
  EXPECT_EQ(terminal.syncs_when_drawn, 3);
  console.read_char();  // finds the end of input
  EXPECT_EQ(buffer.syncs, 4);
  EXPECT_EQ(buffer.str(), "prompt<clear>heading");
}

TEST(Console, WouldWaitTakesInWhatIsReadyAndShowsNothing) {
  // Ready as a file is, 3 bytes a read: each line is taken in whole beforehand,
  // so that reading it neither waits nor lets the output out.
  struct Ready : test::StringSource {
    using StringSource::StringSource;
    bool ready() override { return true; }
  };
  Ready ready("ab\ncdefg\nh", 3);
  std::ostringstream out;
  test::FakeTerminal terminal;
  Console console(ready, out, terminal);
  console.write("prompt");
  char line[10];
  for (std::size_t length : {3, 6, 1}) {
    EXPECT_FALSE(console.would_wait(sizeof line));
    EXPECT_EQ(console.read_line(line, sizeof line), length);
  }
  EXPECT_EQ(out.str(), "");
  // Input that cannot say: only a line end or a whole piece held does not wait.
  ScriptedConsole scripted("abcd\nef", 5);
  EXPECT_TRUE(scripted.console.would_wait(sizeof line));
  scripted.console.read_line(line, 3);
  EXPECT_FALSE(scripted.console.would_wait(3));
  EXPECT_FALSE(scripted.console.would_wait(sizeof line));
  scripted.console.read_line(line, sizeof line);
  EXPECT_TRUE(scripted.console.would_wait(sizeof line));
}

// The prompt's row erased, after an answer's echo the row above.
const std::string ERASE = "\r\x1b[K";
const std::string UP = "\x1b[A" + ERASE;

TEST(Console, ViewWaitsAfterEachScreenfulAtATerminal) {
  const std::string PROMPT = "-- EntrEe : la suite ; q : fin de l'affichage --";
  struct Case {
    int width, rows;
    std::string answers;
    bool echoed;
    std::string text, shown;
  };
  const Case cases[] = {
      // The last row is the prompt's. Enter shows the next screenful, "q"
      // drops the rest of the view.
      {80, 3, "\nq\n", true, "1\n2\n3\n4\n5\n6\n7\n",
       "1\n2\n" + PROMPT + UP + "3\n4\n" + PROMPT + UP},
      // Any other line goes on; the end of input ends the view.
      {80, 4, "yes\n", false, "1\n2\n3\n4\n5\n6\n7\n",
       "1\n2\n3\n" + PROMPT + ERASE + "4\n5\n6\n" + PROMPT + ERASE},
      // Where the input is no terminal, or a screen has one row, nothing waits.
      {80, 0, "", true, "1\n2\n3\n4\n5\n6\n7\n", "1\n2\n3\n4\n5\n6\n7\n"},
      {80, 1, "", true, "1\n2\n3\n", "1\n2\n3\n"},
      // A colour change, the bytes that go on a UTF-8 symbol and a carriage
      // return take no room; the prompt is cut to the width.
      {3, 2, "", true, "\x1b[35m\xe2\x98\xba\xc3\xa9z\x1b[39m\r\nx",
       "\x1b[35m\xe2\x98\xba\xc3\xa9z\x1b[39m\r\n--" + ERASE},
      // A row wraps after its width: the byte that would begin the prompt's
      // row waits, and the prompt gets a row of its own.
      {3, 3, "\n", true, "abcdefg", "abcdef\n--" + UP + "g"},
      {3, 3, "\n", true, "abc\ndefg", "abc\ndef\n--" + UP + "g"},
      // A tab goes to the next stop of eight columns, or the last column.
      {12, 3, "\n", true, "a\tb\tcdefgh\nxy", "a\tb\tcdefgh\n" + PROMPT.substr(0, 11) + UP + "xy"},
  };
  for (const Case& c : cases) {
    ScriptedConsole scripted(c.answers);
    scripted.terminal.screen_kind = Screen::utf8_terminal;
    scripted.terminal.line_columns = c.width;
    scripted.terminal.rows = c.rows;
    scripted.terminal.echoed = c.echoed;
    {
      Console::View view(scripted.console);
      // In two writes, whose screenful goes on from one to the next.
      scripted.console.write(c.text.substr(0, 5));
      scripted.console.write(c.text.substr(5));
    }
    scripted.console.write("after");
    EXPECT_EQ(scripted.transcript(), c.shown + "after") << c.text;
  }
}

TEST(Console, ViewPromptInTheUsualColourAndGuardedUntilItEnds) {
  ScriptedConsole scripted("\n");
  scripted.terminal.screen_kind = Screen::utf8_terminal;
  scripted.terminal.rows = 2;
  scripted.terminal.line_columns = 10;
  scripted.terminal.colours = true;
  {
    Console::View view(scripted.console);
    EXPECT_TRUE(scripted.terminal.colour_guarded);
    scripted.console.write("\x1b[35mabcdefghijkl\x1b[39m");
  }
  EXPECT_FALSE(scripted.terminal.colour_guarded);
  EXPECT_EQ(scripted.transcript(),
            "\x1b[35mabcdefghij\n\x1b[39m-- EntrEe" + UP + "\x1b[35mkl\x1b[39m");
}

TEST(Console, ViewOnAConsoleWaitsWithColourChangesThroughTheTerminal) {
  ScriptedConsole scripted("\n");
  scripted.terminal.screen_kind = Screen::console;
  scripted.terminal.rows = 3;
  {
    Console::View view(scripted.console);
    scripted.console.write_symbols("\x1b[35m1\n2\n3\x1b[39m");
  }
  EXPECT_EQ(scripted.transcript(), "<console>\x1b[35m1\n2\n</console><console>\x1b[39m</console>" +
                                       std::string(PAGE_PROMPT) + UP +
                                       "<console>\x1b[35m</console><console>3\x1b[39m</console>");
}

}  // namespace
}  // namespace octets
