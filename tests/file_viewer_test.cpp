#include "files/file_viewer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "fake_file.h"
#include "files/current_file.h"
#include "test_support.h"

namespace octets {
namespace {

using namespace test;

const ViewKind& TEXT_VIEW = *chosen_view('3');
const ViewKind& DECIMAL_VIEW = *chosen_view('4');
const ViewKind& HEXADECIMAL_VIEW = *chosen_view('5');

/// What a view writes for the given input, with no menu around it.
std::string view(const ViewKind& kind, const std::string& input, Screen screen = Screen::none,
                 int columns = 0, bool colours = false) {
  ScriptedConsole scripted(input);
  scripted.terminal.screen_kind = screen;
  scripted.terminal.columns = columns;
  scripted.terminal.colours = colours;
  show_file(scripted.console, kind);
  EXPECT_EQ(current_file.stream, nullptr) << "the file was left open";
  return scripted.transcript();
}

/// A view at a screen of the given kind and width, and what it shows.
struct ScreenCase {
  ViewKind kind;
  Screen screen;
  int columns;
  std::string shown;
};

class FileViewer : public ::testing::Test {
 protected:
  test::TemporaryFolder folder;
};

TEST_F(FileViewer, LargeFileMatchesAnIndependentComputation) {
  // Several MiB, so that many chunks and output writes are crossed.
  const std::string bytes = test::pseudo_random_bytes(3 * 1024 * 1024 + 17, 1);
  write_file("big", bytes);
  const std::string values = hexadecimal_values(bytes);
  EXPECT_TRUE(view(HEXADECIMAL_VIEW, "big\n") == byte_view(bytes.size(), 16, values));
  // The text view, piece by piece, as the C library's fgets reads the file.
  std::string expected = NAME_PROMPT + TEXT_HEADING;
  std::FILE* file = std::fopen("big", "r");
  ASSERT_NE(file, nullptr);
  for (char piece[LINE_CAPACITY]; std::fgets(piece, sizeof piece, file) != nullptr;) {
    expected += piece;
  }
  std::fclose(file);
  EXPECT_TRUE(view(TEXT_VIEW, "big\n") == expected);
}

TEST_F(FileViewer, TextViewAtATerminalShowsSymbolsAndNoControlByte) {
  struct Case {
    std::string bytes;
    Screen screen;
    std::string shown;
  };
  const std::size_t VIEW_CHUNK = 64 * 1024;
  const Case cases[] = {
      {"\x41\x01\x03\x1B\x80\xE9\xDB\x42", Screen::utf8_terminal,
       "A\u263A\u2665\u2190\u00C7\u0398\u2588B"},
      {"\x1B]0;TITRE\x07\x1B(0\x1B[8m\x1BP\x1B[6n\x7F\xFF\r\n\t.", Screen::utf8_terminal,
       "\u2190]0;TITRE\u2022\u2190(0\u2190[8m\u2190P\u2190[6n\u2302\u00A0\r\n\t."},
      {"\x41\x01\x03\x1B\x80\xE9\xDB\x42", Screen::other_terminal, "A......B"},
      {"\x1B[31mrouge\x9B" "31m\r\n\tfin\x7F", Screen::other_terminal, ".[31mrouge.31m\r\n\tfin."},
      // A zero byte is a symbol like the others, and hides nothing.
      {std::string("A\0B\nC\0\0D\n", 9), Screen::utf8_terminal, "A\u25E6B\nC\u25E6\u25E6D\n"},
      {std::string("ab\0\xE9\ncd", 7), Screen::other_terminal, "ab..\ncd"},
      // A lone carriage return would let what follows overwrite the line; one
      // before a line end, in the same chunk or not, still ends the line.
      {"pass=hunter2\r******\r\n\r", Screen::utf8_terminal, "pass=hunter2\u266A******\r\n\u266A"},
      {"pass=hunter2\r******\r\n\r", Screen::other_terminal, "pass=hunter2.******\r\n."},
      {std::string("a\r\0\nb\r\rc", 8), Screen::utf8_terminal, "a\u266A\u25E6\nb\u266A\u266Ac"},
      {std::string(VIEW_CHUNK - 1, 'x') + "\r\n\r", Screen::other_terminal,
       std::string(VIEW_CHUNK - 1, 'x') + "\r\n."},
      // A console is given the symbols as characters, whatever its code page.
      {"\x41\x01\x1B\x80\r\n", Screen::console, "<console>A\u263A\u2190\u00C7\r\n</console>"},
  };
  for (const Case& c : cases) {
    write_file("t.txt", c.bytes);
    EXPECT_TRUE(view(TEXT_VIEW, "t.txt\n", c.screen) == NAME_PROMPT + TEXT_HEADING + c.shown)
        << c.bytes.substr(0, 40);
  }
}

TEST_F(FileViewer, ByteViewsAtAScreenShowRowsWithPositionsAndSymbols) {
  write_file("f.bin", std::string("\x41\x0A\xFF\xE2\x00", 5));
  const std::string hex_row = "0 41 0A FF E2 00" + std::string(11 * 3 + 2, ' ');
  const ScreenCase cases[] = {
      // Not even two values fit in 9 columns.
      {DECIMAL_VIEW, Screen::utf8_terminal, 10,
       byte_view(5, 10, "0  65  A\n1  10  \u25D9\n2 255  \u00A0\n3 226  \u0393\n4   0  \u25E6")},
      {HEXADECIMAL_VIEW, Screen::console, 14,
       byte_view(5, 16,
                 "<console>0 41 0A  A\u25D9\n2 FF E2  \u00A0\u0393\n4 00     \u25E6</console>")},
      {HEXADECIMAL_VIEW, Screen::other_terminal, 80, byte_view(5, 16, hex_row + "A....")},
      // No screen at all: the values on one line, as the bytes come.
      {HEXADECIMAL_VIEW, Screen::none, 7, byte_view(5, 16, "41 0A FF E2 00 ")},
  };
  for (const ScreenCase& c : cases) {
    EXPECT_EQ(view(c.kind, "f.bin\n", c.screen, c.columns), c.shown) << c.columns;
  }
}

TEST_F(FileViewer, ColoursByKindOfByteAtAScreenThatShowsThem) {
  write_file("k.bin", std::string("A\0\n\x01\xE9\r\n", 7));
  const std::string Z = "\x1b[90m", P = "\x1b[32m", W = "\x1b[36m", C = "\x1b[31m",
                    H = "\x1b[35m", USUAL = "\x1b[39m";
  const std::string legend = "Couleurs : " + Z + "zEro" + USUAL + ", " + P + "imprimable" +
                             USUAL + ", " + W + "espacement" + USUAL + ", " + C + "contrOle" +
                             USUAL + ", " + H + "128 A 255" + USUAL + "\n";
  const std::string size_line = NAME_PROMPT + " = 7 octets ; Affichage en base 16\n";
  const std::string row = P + "41 " + Z + "00 " + W + "0A " + C + "01 " + H + "E9 " + W +
                          "0D 0A" + std::string(9 * 3 + 2, ' ') + P + "A" + Z + "\u25E6" + W +
                          "\u25D9" + C + "\u263A" + H + "\u0398" + W + "\u266A\u25D9" + USUAL;
  const ScreenCase cases[] = {
      {HEXADECIMAL_VIEW, Screen::utf8_terminal, 80,
       size_line + legend + SEPARATOR + "0 " + row + "\n"},
      // A symbol has the colour of its byte's value, the zero byte's too.
      {TEXT_VIEW, Screen::utf8_terminal, 0,
       NAME_PROMPT + "Rappel : N'affiche que les caractEres imprimables\n" + legend + SEPARATOR +
           P + "A" + Z + "\u25E6" + W + "\n" + C + "\u263A" + H + "\u0398" + W + "\r\n" + USUAL},
      {TEXT_VIEW, Screen::other_terminal, 0,
       NAME_PROMPT + "Rappel : N'affiche que les caractEres imprimables\n" + legend + SEPARATOR +
           P + "A" + Z + "." + W + "\n" + C + "." + H + "." + W + "\r\n" + USUAL},
      // A console is given the colour changes to show by its own means.
      {HEXADECIMAL_VIEW, Screen::console, 80,
       size_line + "<console>" + legend + "</console>" + SEPARATOR + "<console>0 " + row +
           "</console>\n"},
  };
  for (const ScreenCase& c : cases) {
    EXPECT_EQ(view(c.kind, "k.bin\n", c.screen, c.columns, true), c.shown)
        << static_cast<int>(c.screen);
  }
}

TEST_F(FileViewer, TextViewReadsToTheEnd) {
  // The file grows once it is open: it is not standard output's own file, so
  // the view goes on to its end, and says nothing of it.
  // Larger than the console holds, so that the heading leaves while the file
  // is still being read.
  const std::string before = std::string(100000, 'a') + "\n";
  write_file("out.txt", before);
  ActingBuffer appending("Rappel", [] {
    std::FILE* file = std::fopen("out.txt", "ab");
    std::fputs("ajoutE\n", file);
    std::fclose(file);
  });
  std::ostream out(&appending);
  StringSource source("out.txt\n");
  FakeTerminal terminal;
  Console console(source, out, terminal);
  show_file(console, TEXT_VIEW);
  console.flush();
  EXPECT_EQ(current_file.stream, nullptr) << "the file was left open";
  EXPECT_TRUE(appending.str() == NAME_PROMPT + TEXT_HEADING + before + "ajoutE\n");
  // A pseudo-file measures nothing and has content.
  std::string status = view(TEXT_VIEW, "/proc/self/status\n");
  EXPECT_NE(status.find("\nState:"), std::string::npos) << status;
  EXPECT_EQ(status.find("grandi"), std::string::npos) << status;
}

TEST_F(FileViewer, TypedNameCannotActOnTheTerminal) {
  EXPECT_EQ(view(TEXT_VIEW, "\x1B]0;T\x07\x1B[6n\r\n", Screen::utf8_terminal),
            NAME_PROMPT + "Impossible d'ouvrir le fichier '\u2190]0;T\u2022\u2190[6n\u266A'\nLe fichier n'existe pas\n");
}

TEST_F(FileViewer, ShrinkingFileShowsOnlyWhatWasRead) {
  // The file is cut after it was measured: only real bytes are shown, and it
  // is told shorter than measured, which is no read error.
  write_file("s.bin", "\x01\x02\x03\x04");
  ScriptedConsole scripted("s.bin\n");
  scripted.terminal.on_long_output = [] { std::filesystem::resize_file("s.bin", 2); };
  show_file(scripted.console, HEXADECIMAL_VIEW);
  EXPECT_EQ(scripted.transcript(),
            byte_view(4, 16, "01 02 \nLe fichier est plus court que mesurE : il s'arrEte aprEs 2 "
                             "octets sur 4"));
}

TEST_F(FileViewer, PseudoFilesShowWhatTheyHold) {
  // /proc measures 0 bytes whatever it holds: its bytes are read and counted.
  std::string held = read_file("/proc/self/cmdline");
  ASSERT_FALSE(held.empty());
  EXPECT_EQ(view(HEXADECIMAL_VIEW, "/proc/self/cmdline\n"),
            byte_view(held.size(), 16, hexadecimal_values(held)));
  // Up to 1 MiB.
  held = read_file("/proc/kallsyms");
  if (held.size() > 1024 * 1024) {
    held.resize(1024 * 1024);
    EXPECT_TRUE(view(HEXADECIMAL_VIEW, "/proc/kallsyms\n") ==
                byte_view(held.size(), 16, hexadecimal_values(held) + "\nTaille inconnue : seuls "
                                           "les 1048576 premiers octets sont affichEs"));
  }
}

}  // namespace
}  // namespace octets
