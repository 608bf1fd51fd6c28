#include "files/line_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "test_support.h"

namespace octets {
namespace {

using namespace test;

const std::string CREATED = NAME_PROMPT + CREATE_HEADING;

std::string prompts(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += LINE_PROMPT;
  return text;
}

class LineWriter : public ::testing::Test {
 protected:
  test::TemporaryFolder folder;
};

TEST_F(LineWriter, FailedWriteIsReportedAtOnceAndTheLinesGoOnToFin) {
  // The file may hold `limit` bytes: the third line cannot be written whole.
  // What reached the file of it is cut off again, the failure is told at once,
  // and the lines up to "fin" are still read, not written, so that "n"
  // answers the continue question; the status then tells of the failure. A
  // long line is written in one piece, so nothing of it is ever left.
  const std::string long_line(150, 'L');
  struct Case {
    std::string lines;
    long limit;
    std::string file;
  };
  const Case cases[] = {
      {"12345\n6789\nabcdef\n", 11, "12345\n6789\n"},
      {"12345\n6789\nabcdef\n", 14, "12345\n6789\n"},
      {"12345\n" + long_line + "\n", 80, "12345\n"},
      {"12345\n" + long_line + "\n", 150, "12345\n"},
  };
  for (const Case& c : cases) {
    const std::string input = "1\nf.txt\n" + c.lines + "y\n1\nfin\nn\n";
    auto session = test::run_session_with_file_limit(input, c.limit);
    EXPECT_EQ(session.status, 1);
    EXPECT_EQ(read_file("f.txt"), c.file) << c.limit;
    // Every line is read before the lines go to the file: the failure comes
    // at the end and names the lines it lost, "y" and "1" among them.
    EXPECT_EQ(session.transcript,
              MENU + "<clear>" + CREATED + prompts(6) +
                  "\nErreur d'Ecriture : les 3 derniEres lignes n'ont pas pu Etre Ecrites dans "
                  "le fichier 'f.txt'\n" + CONTINUE) << c.limit;
    // Typed a byte at a time, each line goes to the file before the next
    // prompt: the failure is told before it, about the one line it lost.
    session = test::run_session_with_file_limit(input, c.limit, 1);
    EXPECT_EQ(session.status, 1);
    EXPECT_EQ(read_file("f.txt"), c.file) << c.limit;
    EXPECT_EQ(session.transcript,
              MENU + "<clear>" + CREATED + prompts(3) +
                  "\nErreur d'Ecriture : la derniEre ligne n'a pas pu Etre Ecrite dans le "
                  "fichier 'f.txt' ; les lignes suivantes ne seront pas enregistrEes\n" +
                  prompts(3) + CONTINUE) << c.limit;
  }
}

TEST_F(LineWriter, EveryWaitFindsTheLinesReadSoFarWholeInTheFile) {
  // Whenever the program waits for input, the lines read so far are in the
  // file, and only whole lines: the pieces of a line are held until its line
  // end, unless it passes 1 MiB. The input comes a little at a time.
  class Watching : public test::StringSource {
   public:
    using StringSource::StringSource;
    std::size_t read_some(char* buffer, std::size_t capacity) override {
      std::error_code none;
      auto size = std::filesystem::file_size("f.txt", none);
      sizes.insert(none ? 0 : size);
      return StringSource::read_some(buffer, capacity);
    }
    std::set<std::uintmax_t> sizes;
  };
  const std::size_t MIB = 1024 * 1024;
  struct Case {
    std::string lines;
    std::size_t piece;
    /// The file's sizes seen at the waits.
    std::set<std::uintmax_t> sizes;
  };
  // Past 1 MiB, at the first whole piece of 99 characters.
  const std::uintmax_t first_part = 99 * (MIB / 99 + 1);
  const std::string many = [] {
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "ligne " + std::to_string(i) + "\n";
    return text;
  }();
  const Case cases[] = {
      {"un\n" + std::string(250, 'L') + "\nfin\n", 50, {0, 3}},
      {"un\n" + std::string(250, 'L'), 50, {0, 3}},
      {std::string(MIB + 500, 'M') + "\nfin\n", 1000, {0, first_part}},
      // Lines that arrive together go to the file together, yet each wait
      // finds all of those read before it.
      {many + "fin\n", 1000, {}},
  };
  for (const Case& c : cases) {
    std::filesystem::remove("f.txt");
    Watching source("f.txt\n" + c.lines, c.piece);
    std::ostringstream out;
    test::FakeTerminal terminal;
    Console console(source, out, terminal);
    write_lines(console, WriteMode::create);
    std::string typed = c.lines.substr(0, c.lines.find("fin\n"));
    EXPECT_TRUE(read_file("f.txt") == typed) << c.lines.size();
    if (!c.sizes.empty()) {
      EXPECT_EQ(source.sizes, c.sizes) << c.lines.size();
      continue;
    }
    // Input read up to each wait, less the name and any begun line.
    std::set<std::uintmax_t> expected;
    for (std::size_t read = 0; read < 6 + c.lines.size(); read += c.piece) {
      std::size_t end = read <= 6 ? 0 : typed.rfind('\n', read - 6 - 1);
      expected.insert(read <= 6 || end == std::string::npos ? 0 : end + 1);
    }
    EXPECT_EQ(source.sizes, expected);
  }
}

TEST_F(LineWriter, LinesAreInTheFileBeforeTheOutputLeaves) {
  // Lines read at once whose prompts overflow the held output: whenever the
  // output leaves, the lines before its last prompt are in the file.
  struct Watching : std::stringbuf {
    std::size_t prompts = 0, writes = 0, behind = 0;
    std::streamsize xsputn(const char* text, std::streamsize n) override {
      std::string_view shown(text, static_cast<std::size_t>(n));
      for (std::size_t at = 0; (at = shown.find(LINE_PROMPT, at)) != shown.npos; ++at) ++prompts;
      if (prompts > 0 && std::filesystem::file_size("f.txt") < 12 * (prompts - 1)) ++behind;
      ++writes;
      return n;
    }
  } out;
  std::string lines;
  for (int i = 0; i < 5000; ++i) lines += "ligne " + std::to_string(10000 + i) + "\n";
  std::ostream stream(&out);
  test::StringSource source("f.txt\n" + lines + "fin\n");
  test::FakeTerminal terminal;
  {
    Console console(source, stream, terminal);
    write_lines(console, WriteMode::create);
  }
  EXPECT_GT(out.writes, 1u);
  EXPECT_EQ(out.behind, 0u);
}

}  // namespace
}  // namespace octets
