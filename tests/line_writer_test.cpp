#include "files/line_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

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

TEST_F(LineWriter, FailedWriteIsReportedAndStopsTheInput) {
  // The file may hold `limit` bytes: the third line cannot be written, and no
  // further line is asked for, so "n" answers the continue question. A line
  // written in part is cut off again, and so are the earlier pieces of a line
  // that came in several.
  const std::string long_line(150, 'L');
  struct Case {
    std::string lines;
    long limit;
    std::string file;
    int prompts;
  };
  const Case cases[] = {
      {"12345\n6789\nabcdef\n", 11, "12345\n6789\n", 3},
      {"12345\n6789\nabcdef\n", 14, "12345\n6789\n", 3},
      {"12345\n" + long_line + "\n", 80, "12345\n", 2},
      {"12345\n" + long_line + "\n", 150, "12345\n", 3},
  };
  for (const Case& c : cases) {
    auto session = test::run_session_with_file_limit("1\nf.txt\n" + c.lines + "n\n", c.limit);
    EXPECT_EQ(session.status, 0);
    EXPECT_EQ(read_file("f.txt"), c.file) << c.limit;
    EXPECT_EQ(session.transcript,
              MENU + "<clear>" + CREATED + prompts(c.prompts) +
                  "\nErreur d'Ecriture : la derniEre ligne n'a pas pu Etre Ecrite dans le "
                  "fichier 'f.txt'\n" + CONTINUE) << c.limit;
  }
}

}  // namespace
}  // namespace octets
