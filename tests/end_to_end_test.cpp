// Whole dialogues with the built program, its standard input piped in: its
// output, status and files compared byte for byte. Under wine these run the
// Windows program (see program_run.h).

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <string>

#include "program_run.h"
#include "test_support.h"

namespace octets::test {
namespace {

TEST(EndToEnd, HelpPageAndEndOfTheDialogue) {
  ProgramRun run = run_program("8\nn\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.output,
            text(MENU_TEXT + HELP + CONTINUE));
}

TEST(EndToEnd, MenuRefusalsAndEndOfInput) {
  // Refused answers show the menu again, a line of 150 characters only once;
  // "y5" answers the continue question and then chooses 5, whose name prompt
  // finds the end of input.
  ProgramRun run = run_program("9\n" + std::string(150, '1') + "\n0\ny5\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, text(MENU_TEXT + MENU_TEXT + MENU_TEXT + CONTINUE +
                             MENU_TEXT + NAME_PROMPT + CONTINUE + "\n"));
  ProgramRun empty = run_program("");
  EXPECT_EQ(empty.status, 0);
  EXPECT_EQ(empty.output, text(MENU_TEXT + "\n"));
}

TEST(EndToEnd, EveryView) {
  const Files files = {{"f.bin", "\x41\x0A\xFF"}, {"t.txt", "un\ndeux"}};
  const std::string heading = NAME_PROMPT + " = 3 octets ; Affichage en base ";
  ProgramRun run = run_program("4\nf.bin\ny5\nf.bin\ny6\nf.bin\ny3\nt.txt\nn\n", files);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output,
            text(MENU_TEXT + heading + "10\n" + SEPARATOR + "65 10 255 \n" + CONTINUE +
                 MENU_TEXT + heading + "16\n" + SEPARATOR + "41 0A FF \n" + CONTINUE +
                 MENU_TEXT + heading + "2\n" + SEPARATOR + "01000001 00001010 11111111 \n" +
                 CONTINUE + MENU_TEXT + NAME_PROMPT +
                 "Rappel : N'affiche que les caractEres imprimables\n" + SEPARATOR) +
                "un" + text("\n") + "deux" + text(CONTINUE));
  EXPECT_EQ(run.files, files);
}

TEST(EndToEnd, TextViewReadsInTextModeByteViewsShowEveryByte) {
  const std::string bytes = "un\r\n\xC3\xA9\n\x1A" "deux\r\n";
  ProgramRun run = run_program("3\nt.txt\ny5\nt.txt\nn\n", {{"t.txt", bytes}});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output,
            text(MENU_TEXT + NAME_PROMPT + "Rappel : N'affiche que les caractEres "
                 "imprimables\n" + SEPARATOR) +
                shown_as_text(bytes) +
                text(CONTINUE + MENU_TEXT + NAME_PROMPT + " = 14 octets ; Affichage en base "
                     "16\n" + SEPARATOR + "75 6E 0D 0A C3 A9 0A 1A 64 65 75 78 0D 0A \n" +
                     CONTINUE));
}

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

TEST(EndToEnd, WriteAppendAndOpenFailure) {
  const std::string lines = NAME_PROMPT + "CrEe / Ecrase le fichier. Taper 'fin' pour fermer "
                                          "le fichier\n" + SEPARATOR;
  const std::string prompt = "Ligne A enregistrer : ";
  ProgramRun run = run_program("1\nf.txt\nun\n\nfin\ny2\nf.txt\ndeux\nfin\ny5\nabsent\nn\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output,
            text(MENU_TEXT + lines + prompt + prompt + prompt + CONTINUE + MENU_TEXT +
                 NAME_PROMPT + "Ajoute A la fin du fichier. Taper 'fin' pour fermer le "
                               "fichier\n" + SEPARATOR + prompt + prompt + CONTINUE +
                 MENU_TEXT + NAME_PROMPT + "Impossible d'ouvrir le fichier 'absent'" +
                 CONTINUE));
  EXPECT_EQ(run.files, (Files{{"f.txt", text("un\n\ndeux\n")}}));
}

TEST(EndToEnd, EncipherTwiceRestores) {
  std::string bytes = all_byte_values() + "\r\n\x1A";
  const std::string asked = NAME_PROMPT + " = 259 octets\nAttention. Tous les octets vont Etre "
                            "modifiEs.\nSouhaitez vous crypter/dEcrypter ? (y/N) : ClE de "
                            "cryptage/dEcryptage (1 A 255) = ";
  ProgramRun once = run_program("7\nf.bin\ny\n42abc\nn\n", {{"f.bin", bytes}});
  EXPECT_EQ(once.output,
            text(MENU_TEXT + asked + "Fichier cryptE / dEcryptE\n" + CONTINUE));
  EXPECT_EQ(once.files, (Files{{"f.bin", enciphered(bytes, 0x2A)}}));
  ProgramRun twice = run_program("7\nf.bin\ny\n42\ny7\nf.bin\ny\n42\nn\n", {{"f.bin", bytes}});
  EXPECT_EQ(twice.files, (Files{{"f.bin", bytes}}));
  ProgramRun refused = run_program("7\nf.bin\ny\n256\nn\n", {{"f.bin", bytes}});
  EXPECT_EQ(refused.output, text(MENU_TEXT + asked + CONTINUE));
  EXPECT_EQ(refused.files, (Files{{"f.bin", bytes}}));
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
