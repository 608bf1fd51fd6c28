#include "files/line_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <vector>

#include "files/current_file.h"
#include "test_support.h"

namespace octets {
namespace {

using namespace test;

const std::string& PROMPT = LINE_PROMPT;
const std::string CREATED = NAME_PROMPT + CREATE_HEADING;
const std::string APPENDED = NAME_PROMPT + APPEND_HEADING;

/// Runs the line writer alone and returns what it wrote to the console.
std::string write(WriteMode mode, const std::string& input) {
  ScriptedConsole scripted(input);
  write_lines(scripted.console, mode);
  EXPECT_EQ(current_file.stream, nullptr) << "the file was left open";
  return scripted.transcript();
}

std::string prompts(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += PROMPT;
  return text;
}

class LineWriter : public ::testing::Test {
 protected:
  test::TemporaryFolder folder;
};

TEST_F(LineWriter, CreateEmptiesAndAppendKeeps) {
  write_file("f.txt", "old\n");
  EXPECT_EQ(write(WriteMode::create, "f.txt\nun\n\ndeux\nfin\n"), CREATED + prompts(4));
  EXPECT_EQ(read_file("f.txt"), "un\n\ndeux\n");
  EXPECT_EQ(write(WriteMode::append, "f.txt\ntrois\nfin\n"), APPENDED + prompts(2));
  EXPECT_EQ(read_file("f.txt"), "un\n\ndeux\ntrois\n");
  // Append on a missing file creates it; "fin" first leaves a new file empty.
  write(WriteMode::append, "new.txt\nx\nfin\n");
  EXPECT_EQ(read_file("new.txt"), "x\n");
  write(WriteMode::create, "f.txt\nfin\n");
  EXPECT_TRUE(std::filesystem::exists("f.txt"));
  EXPECT_EQ(read_file("f.txt"), "");
}

TEST_F(LineWriter, OnlyTheExactEndMarkerEndsTheInput) {
  write(WriteMode::create, "f.txt\nFIN\n fin\nfin \nfine\nfin\n");
  EXPECT_EQ(read_file("f.txt"), "FIN\n fin\nfin \nfine\n");
}

TEST_F(LineWriter, LongLinesArriveInPiecesAndAreWrittenWhole) {
  const std::string long_line(250, 'L');
  EXPECT_EQ(write(WriteMode::create, "f.txt\n" + long_line + "\nfin\n"),
            CREATED + prompts(4));
  EXPECT_EQ(read_file("f.txt"), long_line + "\n");
  // A typed line of 99 or 198 characters then "fin": the last piece is the
  // end marker, so the earlier pieces stay written without a line end.
  for (int length : {99, 198}) {
    write(WriteMode::create, "f.txt\n" + std::string(length, 'a') + "fin\nnot written\n");
    EXPECT_EQ(read_file("f.txt"), std::string(length, 'a')) << length;
  }
}

TEST_F(LineWriter, ZeroByteCutsTheLine) {
  write(WriteMode::create, std::string("f.txt\nab\0cd\nfin\n", 16));
  EXPECT_EQ(read_file("f.txt"), "ab");
  // "fin" and a zero byte is an ordinary line, even as the input's last.
  EXPECT_EQ(write(WriteMode::create, std::string("f.txt\nfin\0x\n", 12)),
            CREATED + prompts(2));
  EXPECT_EQ(read_file("f.txt"), "fin");
}

TEST_F(LineWriter, RestOfALongNameIsTheFirstLine) {
  const std::string name28(28, 'n');
  write(WriteMode::create, name28 + "Z\nfin\n");
  EXPECT_EQ(read_file(name28), "\n");
  write(WriteMode::create, name28 + "Zrest of name\nfin\n");
  EXPECT_EQ(read_file(name28), "rest of name\n");
  write(WriteMode::create, name28 + "Zfin\nnever\nfin\n");
  EXPECT_EQ(read_file(name28), "");
}

TEST_F(LineWriter, EndOfInputEndsTheLinesAsFinDoes) {
  struct Case {
    std::string input;
    std::string file;
  };
  const Case cases[] = {
      {"f.txt\n", ""},
      {"f.txt\nun\n", "un\n"},
      {"f.txt\nun\ndeux", "un\ndeux"},
      {"f.txt\nun\nfin", "un\n"},
      {"f.txt\nun\nfi", "un\nfi"},
  };
  for (const Case& c : cases) {
    auto session = run_session("1\n" + c.input);
    EXPECT_EQ(read_file("f.txt"), c.file) << c.input;
    EXPECT_EQ(session.status, 0);
    EXPECT_EQ(session.transcript.substr(session.transcript.size() - CONTINUE.size() - 1),
              CONTINUE + "\n");
  }
  // No name: nothing is created.
  run_session("1\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(LineWriter, FailedWriteIsReportedAtOnceAndTheLinesGoOnToFin) {
  // The file may hold `limit` bytes: the third line cannot be written whole.
  // What reached the file of it is cut off again, the failure is told at once,
  // and the lines up to "fin" are still read, not written, so that "n"
  // answers the continue question. A long line is written in one piece, so
  // nothing of it is ever left.
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
    auto session = test::run_session_with_file_limit(
        "1\nf.txt\n" + c.lines + "y\n1\nfin\nn\n", c.limit);
    EXPECT_EQ(session.status, 0);
    EXPECT_EQ(read_file("f.txt"), c.file) << c.limit;
    EXPECT_EQ(session.transcript,
              MENU + "<clear>" + CREATED + prompts(3) +
                  "\nErreur d'Ecriture : la derniEre ligne n'a pas pu Etre Ecrite dans le "
                  "fichier 'f.txt' ; les lignes suivantes ne seront pas enregistrEes\n" +
                  prompts(3) + CONTINUE) << c.limit;
  }
}

TEST_F(LineWriter, LongLineIsHeldUntilItsLineEnd) {
  // Pieces of a line reach the file only with its line end, or at the end of
  // the input; only a line past 1 MiB goes out in parts.
  class Watching : public std::stringbuf {
   protected:
    std::streamsize xsputn(const char* s, std::streamsize n) override {
      if (std::string_view(s, static_cast<std::size_t>(n)) == LINE_PROMPT) {
        sizes.push_back(std::filesystem::file_size("f.txt"));
      }
      return std::stringbuf::xsputn(s, n);
    }

   public:
    std::vector<std::uintmax_t> sizes;
  };
  const std::size_t MIB = 1024 * 1024;
  struct Case {
    std::string lines;
    /// The file's sizes seen at the prompts.
    std::set<std::uintmax_t> sizes;
  };
  // Past 1 MiB, at the first whole piece of 99 characters.
  const std::uintmax_t first_part = 99 * (MIB / 99 + 1);
  const Case cases[] = {
      {"un\n" + std::string(250, 'L') + "\nfin\n", {0, 3, 254}},
      {"un\n" + std::string(250, 'L'), {0, 3}},
      {std::string(MIB + 500, 'M') + "\nfin\n", {0, first_part, MIB + 501}},
  };
  for (const Case& c : cases) {
    Watching watching;
    std::ostream out(&watching);
    test::FakeTerminal terminal;
    test::StringSource source("f.txt\n" + c.lines);
    Console console(source, out, terminal);
    write_lines(console, WriteMode::create);
    EXPECT_EQ(std::set(watching.sizes.begin(), watching.sizes.end()), c.sizes) << c.lines.size();
    std::string typed = c.lines.substr(0, c.lines.find("fin\n"));
    EXPECT_TRUE(read_file("f.txt") == typed) << c.lines.size();
  }
}

}  // namespace
}  // namespace octets
