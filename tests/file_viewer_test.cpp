#include "files/file_viewer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "files/current_file.h"
#include "test_support.h"

namespace octets {
namespace {

using namespace test;

/// What a view writes for the given input, with no menu around it.
std::string view(ViewKind kind, const std::string& input, Screen screen = Screen::none,
                 int columns = 0) {
  ScriptedConsole scripted(input);
  scripted.terminal.screen_kind = screen;
  scripted.terminal.columns = columns;
  show_file(scripted.console, kind);
  EXPECT_EQ(current_file.stream, nullptr) << "the file was left open";
  return scripted.transcript();
}

/// Runs the viewer with its output going to `buffer`, which may act on the file.
void view_into(std::streambuf& buffer, ViewKind kind, const std::string& input) {
  std::ostream out(&buffer);
  test::FakeTerminal terminal;
  test::StringSource source(input);
  Console console(source, out, terminal);
  show_file(console, kind);
  EXPECT_EQ(current_file.stream, nullptr) << "the file was left open";
}

class FileViewer : public ::testing::Test {
 protected:
  test::TemporaryFolder folder;
};

TEST_F(FileViewer, LargeFileMatchesAnIndependentComputation) {
  // Several MiB, so that many chunks and output writes are crossed.
  const std::string bytes = test::pseudo_random_bytes(3 * 1024 * 1024 + 17, 1);
  write_file("big", bytes);
  std::string expected = NAME_PROMPT + " = " + std::to_string(bytes.size()) +
                         " octets ; Affichage en base 16\n" + SEPARATOR;
  char text[8];
  for (unsigned char byte : bytes) {
    std::snprintf(text, sizeof text, "%02X ", byte);
    expected += text;
  }
  expected += "\n";
  EXPECT_TRUE(view(ViewKind::hexadecimal, "big\n") == expected);
  // At 37 columns, 12 values a row, counted on across the view's chunks.
  std::string rows = expected.substr(0, expected.find(SEPARATOR) + SEPARATOR.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0 && i % 12 == 0) rows += "\n";
    std::snprintf(text, sizeof text, "%02X ", static_cast<unsigned char>(bytes[i]));
    rows += text;
  }
  rows += "\n";
  EXPECT_TRUE(view(ViewKind::hexadecimal, "big\n", Screen::utf8_terminal, 37) == rows);
  // The text view, piece by piece, as the C library's fgets reads the file.
  expected = NAME_PROMPT + TEXT_HEADING;
  std::FILE* file = std::fopen("big", "r");
  ASSERT_NE(file, nullptr);
  for (char piece[LINE_CAPACITY]; std::fgets(piece, sizeof piece, file) != nullptr;) {
    expected += piece;
  }
  std::fclose(file);
  EXPECT_TRUE(view(ViewKind::text, "big\n") == expected);
}

TEST_F(FileViewer, TextViewAtATerminalShowsSymbolsAndNoControlByte) {
  struct Case {
    std::string bytes;
    Screen screen;
    std::string shown;
  };
  // 98 bytes then a zero byte: the zero begins the second piece of 99 bytes,
  // counted in the file's bytes and not in the symbols' UTF-8 bytes.
  const std::string shades(98, '\xB0');
  std::string shade_symbols;
  for (int i = 0; i < 98; ++i) shade_symbols += "\u2591";
  const std::size_t VIEW_CHUNK = 64 * 1024;
  const Case cases[] = {
      {"\x41\x01\x03\x1B\x80\xE9\xDB\x42", Screen::utf8_terminal,
       "A\u263A\u2665\u2190\u00C7\u0398\u2588B"},
      {"\x1B]0;TITRE\x07\x1B(0\x1B[8m\x1BP\x1B[6n\x7F\xFF\r\n\t.", Screen::utf8_terminal,
       "\u2190]0;TITRE\u2022\u2190(0\u2190[8m\u2190P\u2190[6n\u2302\u00A0\r\n\t."},
      {"\x41\x01\x03\x1B\x80\xE9\xDB\x42", Screen::other_terminal, "A......B"},
      {"\x1B[31mrouge\x9B" "31m\r\n\tfin\x7F", Screen::other_terminal, ".[31mrouge.31m\r\n\tfin."},
      {shades + "x" + std::string(1, '\0') + "cachE\nvu\xFE", Screen::utf8_terminal,
       shade_symbols + "xvu\u25A0"},
      {"ab" + std::string(1, '\0') + "\xE9\ncd", Screen::other_terminal, "abcd"},
      // A lone carriage return would let what follows overwrite the line; one
      // before a line end, in the same chunk or not, still ends the line.
      {"pass=hunter2\r******\r\n\r", Screen::utf8_terminal, "pass=hunter2\u266A******\r\n\u266A"},
      {"pass=hunter2\r******\r\n\r", Screen::other_terminal, "pass=hunter2.******\r\n."},
      {"a\r" + std::string(1, '\0') + "\nb\r\rc", Screen::utf8_terminal, "a\u266Ab\u266A\u266Ac"},
      {std::string(VIEW_CHUNK - 1, 'x') + "\r\n\r", Screen::other_terminal,
       std::string(VIEW_CHUNK - 1, 'x') + "\r\n."},
      // A console is given the symbols as characters, whatever its code page.
      {"\x41\x01\x1B\x80\r\n", Screen::console, "<console>A\u263A\u2190\u00C7\r\n</console>"},
  };
  for (const Case& c : cases) {
    write_file("t.txt", c.bytes);
    EXPECT_TRUE(view(ViewKind::text, "t.txt\n", c.screen) == NAME_PROMPT + TEXT_HEADING + c.shown)
        << c.bytes.substr(0, 40);
  }
}

TEST_F(FileViewer, SymbolsForTheConsoleFollowWhatWasWrittenBefore) {
  // Holds what is written until it is flushed, as standard output does, while
  // the console is drawn on at once.
  class HoldingBuffer : public std::streambuf {
   public:
    std::string shown;

   protected:
    int overflow(int c) override {
      if (c != EOF) held_ += static_cast<char>(c);
      return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
      held_.append(s, static_cast<std::size_t>(n));
      return n;
    }
    int sync() override {
      shown += held_;
      held_.clear();
      return 0;
    }

   private:
    std::string held_;
  } holding;
  class DrawingTerminal : public FakeTerminal {
   public:
    explicit DrawingTerminal(HoldingBuffer& buffer) : buffer_(buffer) {}
    void write_symbols(std::ostream&, std::string_view utf8) override {
      buffer_.shown += "<console>" + std::string(utf8) + "</console>";
    }

   private:
    HoldingBuffer& buffer_;
  } terminal(holding);
  terminal.screen_kind = Screen::console;
  write_file("t.txt", "\x1B[2J\x80");
  std::ostream out(&holding);
  StringSource source("t.txt\n");
  Console console(source, out, terminal);
  show_file(console, ViewKind::text);
  console.flush();
  EXPECT_EQ(holding.shown,
            NAME_PROMPT + TEXT_HEADING + "<console>\u2190[2J\u00C7</console>");
}

TEST_F(FileViewer, ByteViewsAtAScreenBreakRowsBetweenValues) {
  write_file("f.bin", std::string("\x41\x0A\xFF\xE2\x00", 5));
  struct Case {
    ViewKind kind;
    Screen screen;
    int columns;
    std::string shown;
  };
  const Case cases[] = {
      // "65 10 255 " ends at the margin and stays whole on its row.
      {ViewKind::decimal, Screen::utf8_terminal, 10, byte_view(5, 10, "65 10 255 \n226 0 ")},
      {ViewKind::hexadecimal, Screen::console, 7, byte_view(5, 16, "41 0A \nFF E2 \n00 ")},
      {ViewKind::binary, Screen::other_terminal, 20,
       byte_view(5, 2, "01000001 00001010 \n11111111 11100010 \n00000000 ")},
      // The symbols of the text view play no part in a byte view.
      {ViewKind::hexadecimal, Screen::utf8_terminal, 100, byte_view(5, 16, "41 0A FF E2 00 ")},
      // Width unknown, or no screen at all: one line, as the bytes come.
      {ViewKind::hexadecimal, Screen::utf8_terminal, 0, byte_view(5, 16, "41 0A FF E2 00 ")},
      {ViewKind::hexadecimal, Screen::none, 7, byte_view(5, 16, "41 0A FF E2 00 ")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(view(c.kind, "f.bin\n", c.screen, c.columns), c.shown) << c.columns;
  }
}

TEST_F(FileViewer, TextViewReadsToTheEnd) {
  // The file grows once it is open: it is not standard output's own file, so
  // the view goes on to its end, and says nothing of it.
  // Larger than the console holds, so that the heading leaves while the file
  // is still being read.
  const std::string before = std::string(100000, 'a') + "\n";
  write_file("out.txt", before);
  class AppendingBuffer : public std::stringbuf {
   protected:
    std::streamsize xsputn(const char* s, std::streamsize n) override {
      if (std::string_view(s, static_cast<std::size_t>(n)).starts_with("Rappel")) {
        std::FILE* file = std::fopen("out.txt", "ab");
        std::fputs("ajoutE\n", file);
        std::fclose(file);
      }
      return std::stringbuf::xsputn(s, n);
    }
  } appending;
  view_into(appending, ViewKind::text, "out.txt\n");
  EXPECT_TRUE(appending.str() == NAME_PROMPT + TEXT_HEADING + before + "ajoutE\n");
  // A pseudo-file measures nothing and has content.
  std::string status = view(ViewKind::text, "/proc/self/status\n");
  EXPECT_NE(status.find("\nState:"), std::string::npos) << status;
  EXPECT_EQ(status.find("grandi"), std::string::npos) << status;
}

TEST_F(FileViewer, TypedNameCannotActOnTheTerminal) {
  EXPECT_EQ(view(ViewKind::text, "\x1B]0;T\x07\x1B[6n\r\n", Screen::utf8_terminal),
            NAME_PROMPT + "Impossible d'ouvrir le fichier '\u2190]0;T\u2022\u2190[6n\u266A'");
}

TEST_F(FileViewer, FifoIsRefusedWithoutWaiting) {
  ASSERT_EQ(std::system("mkfifo pipe"), 0);
  EXPECT_EQ(view(ViewKind::text, "pipe\n"), NAME_PROMPT + "Impossible d'ouvrir le fichier 'pipe'");
  EXPECT_EQ(view(ViewKind::hexadecimal, "pipe\n"),
            NAME_PROMPT + "Impossible d'ouvrir le fichier 'pipe'");
}

TEST_F(FileViewer, ShrinkingFileShowsOnlyWhatWasRead) {
  // The file is cut after it was measured: only real bytes are shown, and the
  // shortfall is reported.
  write_file("s.bin", "\x01\x02\x03\x04");
  ScriptedConsole scripted("s.bin\n");
  scripted.terminal.on_long_output = [] { std::filesystem::resize_file("s.bin", 2); };
  show_file(scripted.console, ViewKind::hexadecimal);
  EXPECT_EQ(scripted.transcript(),
            byte_view(4, 16, "01 02 \nErreur de lecture : seuls 2 octets sur 4 ont pu Etre lus"));
}

}  // namespace
}  // namespace octets
