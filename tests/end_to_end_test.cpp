// The built program with its standard input piped in, where its output goes
// somewhere a dialogue case (tests/dialogues) cannot say: into the file it
// shows, through a pipe, to a device that is full. Under wine these run the
// Windows program (see program_run.h).

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <string>

#include "program_run.h"
#include "test_support.h"

namespace octets::test {
namespace {

TEST(EndToEnd, TextViewOfItsOwnOutputEnds) {
  // Standard output appends to the file shown: the view shows what the file
  // held when it was opened, says that it grew since, and ends.
  // Larger than the output's buffer, so that the view's output reaches the
  // file while the file is still being read.
  std::string lines;
  for (int i = 0; i < 4000; ++i) lines += "ligne " + std::to_string(i) + " du fichier\n";
  const std::string before = text(lines);
  // A view that never ends is stopped when the file reaches 64 MiB.
  rlimit unlimited{};
  getrlimit(RLIMIT_FSIZE, &unlimited);
  rlimit limited{64 << 20, unlimited.rlim_max};
  setrlimit(RLIMIT_FSIZE, &limited);
  ProgramRun run = run_program("3\nf.txt\nn\n", {{"f.txt", before}}, ">f.txt");
  setrlimit(RLIMIT_FSIZE, &unlimited);
  EXPECT_EQ(run.status, 0);
  // The name prompt reaches the file before it is opened only when the name is
  // read separately from the menu's choice.
  const std::string menu = before + text(MENU_TEXT);
  const std::string prompted = menu + text(NAME_PROMPT);
  const std::string grew = text("\nLe fichier a grandi pendant l'affichage : seul ce qu'il "
                                "contenait A l'ouverture est affichE\n");
  ASSERT_EQ(run.files.size(), 1u);
  const std::string& after = run.files["f.txt"];
  if (windows_line_ends()) {
    // A text-mode read counts one character for CR LF: a little more is shown.
    EXPECT_LT(after.size(), 4 * prompted.size());
    EXPECT_NE(after.find(grew), std::string::npos);
  } else {
    const std::string shown = prompted + "Rappel : N'affiche que les caractEres imprimables\n" +
                              SEPARATOR;
    const std::string end = grew + CONTINUE;
    EXPECT_TRUE(after == shown + menu + end || after == shown + prompted + end)
        << after.size() << " bytes";
  }
}

TEST(EndToEnd, ByteViewsThroughAPipeShowEveryByte) {
  // Larger than any pipe, so that the program waits on its reader; the pipe
  // may be enlarged, and nothing may be lost or repeated either way.
  const std::string bytes = pseudo_random_bytes(3 * 1024 * 1024 + 5, 3);
  Files files{{"f.bin", bytes}};
  for (const char* choice : {"4", "5", "6"}) {
    std::string input = std::string(choice) + "\nf.bin\nn\n";
    ProgramRun to_file = run_program(input, files);
    ProgramRun piped = run_program(input, files, "| cat > out.bin");
    EXPECT_EQ(piped.status, 0) << choice;
    EXPECT_GT(to_file.output.size(), bytes.size() * 2) << choice;
    EXPECT_TRUE(piped.output == to_file.output) << "view " << choice << " differs through a pipe";
  }
}

TEST(EndToEnd, LostOutputIsReportedAfterTheWholeDialogue) {
  if (windows_line_ends()) GTEST_SKIP() << "needs /dev/full";
  // A full device, and a closed standard output whose number an opened file
  // could take: every operation still does its work, then the loss is told.
  const std::string bytes = "abc";
  for (std::string output : {"/dev/full", "&-"}) {
    ProgramRun run = run_program("1\ndf.txt\nabc\nfin\ny7\nf.bin\ny\n42\ny5\nf.bin\nn\n",
                                 {{"f.bin", bytes}}, output);
    EXPECT_EQ(run.status, 1) << output;
    EXPECT_EQ(run.errors, "octets : Ecriture impossible sur la sortie standard\n") << output;
    EXPECT_EQ(run.files, (Files{{"df.txt", "abc\n"}, {"f.bin", "KHI"}})) << output;
  }
}

}  // namespace
}  // namespace octets::test
