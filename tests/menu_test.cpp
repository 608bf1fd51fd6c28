#include "console/menu.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace octets {
namespace {

using test::CONTINUE;
using test::HELP;
using test::MENU;
using test::run_session;

TEST(Menu, ChoiceZeroRunsNothingAndNEnds) {
  auto session = run_session("0\nn\n");
  EXPECT_EQ(session.transcript, MENU + "<clear>" + CONTINUE);
  EXPECT_EQ(session.status, 0);
}

TEST(Menu, HelpPageIsShownWholeBeforeTheSeparator) {
  auto session = run_session("8\nn\n");
  EXPECT_EQ(session.transcript, MENU + "<clear>" + HELP + CONTINUE);
}

TEST(Menu, InvalidChoicesShowTheMenuAgain) {
  // Each of these lines is refused as a whole, without a message.
  for (std::string refused : {"9\n", "a\n", "12\n", " 5\n", "\n", "/\n", "00\n"}) {
    auto session = run_session(refused + "0\nn\n");
    EXPECT_EQ(session.transcript, MENU + MENU + "<clear>" + CONTINUE) << refused;
  }
}

TEST(Menu, AnswerLongerThanOneReadIsRefusedWhole) {
  // The menu comes back once, and no piece of the line answers it: not its
  // last character, nor a first one that a zero byte follows. (Were "1"
  // taken, the next line would name a file.)
  test::TemporaryFolder folder;
  for (std::string line : {std::string(150, '5'), std::string(99, 'x') + "1",
                           "5" + std::string(1, '\0') + std::string(150, 'x')}) {
    auto session = run_session(line + "\n0\nn\n");
    EXPECT_EQ(session.transcript, MENU + MENU + "<clear>" + CONTINUE) << line.size();
  }
}

TEST(Menu, OnlyALowerCaseNEndsTheProgram) {
  for (std::string goes_on : {"N\n", "y\n", "o\n", "\n"}) {
    auto session = run_session("0\n" + goes_on + "0\nn\n");
    // After a one-character line the pending line end is refused at the menu.
    std::string refusal = goes_on == "\n" ? "" : MENU;
    EXPECT_EQ(session.transcript,
              MENU + "<clear>" + CONTINUE + refusal + MENU + "<clear>" + CONTINUE)
        << goes_on;
  }
  auto session = run_session("0\nnon merci\n0\n");
  EXPECT_EQ(session.transcript, MENU + "<clear>" + CONTINUE);
  EXPECT_EQ(session.status, 0);
}

TEST(Menu, ContinueAnswerTakesOneCharacterAndTheRestIsTheNextChoice) {
  // "y5": the pending "5" and line end choose 5 at once (here a view with no
  // name typed: the input then ends at its name prompt).
  auto session = run_session("0\ny8\nn\n");
  EXPECT_EQ(session.transcript, MENU + "<clear>" + CONTINUE + MENU + "<clear>" + HELP + CONTINUE);
}

TEST(Menu, RestOfAPartlyReadLineIsDroppedButTypedAheadLinesAreKept) {
  test::TemporaryFolder folder;
  // The view reads 29 characters of the name; the rest of that line is dropped
  // before the continue question, which then takes "n" from the next line.
  auto ahead = run_session("3\n" + std::string(35, 'x') + "\nn\n");
  EXPECT_EQ(ahead.transcript, MENU + "<clear>Nom du fichier TEXTE : Impossible d'ouvrir le fichier '" +
                                  std::string(28, 'x') + "'" + CONTINUE);
  // A whole line typed ahead answers the continue question.
  auto typed_ahead = run_session("0\nn\n0\n");
  EXPECT_EQ(typed_ahead.transcript, MENU + "<clear>" + CONTINUE);
}

TEST(Menu, EndOfInputEndsTheProgramOnAFreshLine) {
  struct Case {
    std::string input;
    std::string transcript;
  };
  const Case cases[] = {
      {"", MENU + "\n"},
      {"9\n", MENU + MENU + "\n"},
      {"0\n", MENU + "<clear>" + CONTINUE + "\n"},
      // A last answer without a line end still counts.
      {"8", MENU + "<clear>" + HELP + CONTINUE + "\n"},
      {"0\ny", MENU + "<clear>" + CONTINUE + MENU + "\n"},
  };
  for (const Case& c : cases) {
    auto session = run_session(c.input);
    EXPECT_EQ(session.transcript, c.transcript) << c.input;
    EXPECT_EQ(session.status, 0);
  }
}

}  // namespace
}  // namespace octets
