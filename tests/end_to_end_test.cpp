// Runs the built program with a piped standard input, in a fresh folder, and
// compares its whole standard output, its exit status and the files it leaves
// byte for byte.
//
// OCTETS_PROGRAM names the command to run instead of the program built beside
// this test (a Windows build under an emulator, say); OCTETS_LINE_END=crlf says
// that it follows the Windows text mode: CR LF line ends, and 0x1A ending a text
// that is read.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "test_support.h"

namespace octets {
namespace {

using testing::CONTINUE;
using testing::MENU_TEXT;
using testing::NAME_PROMPT;
using testing::read_file;
using testing::SEPARATOR;
using testing::write_file;

using Files = std::map<std::string, std::string>;

std::string program() {
  const char* chosen = std::getenv("OCTETS_PROGRAM");
  return chosen != nullptr ? chosen : "'" OCTETS_BUILT_PROGRAM "'";
}

bool windows_line_ends() {
  const char* line_end = std::getenv("OCTETS_LINE_END");
  return line_end != nullptr && std::string(line_end) == "crlf";
}

/// Text as a text-mode stream of the program's platform writes it.
std::string text(const std::string& lines) {
  if (!windows_line_ends()) return lines;
  std::string converted;
  for (char c : lines) {
    if (c == '\n') converted += '\r';
    converted += c;
  }
  return converted;
}

/// A file's bytes as the text view shows them. The platform's text mode reads CR
/// LF as one line end and takes 0x1A for the end of the text; every other byte
/// passes unchanged.
std::string shown_as_text(const std::string& bytes) {
  if (!windows_line_ends()) return bytes;
  std::string lines = bytes.substr(0, bytes.find('\x1A'));
  std::string read;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] != '\r' || i + 1 == lines.size() || lines[i + 1] != '\n') read += lines[i];
  }
  return text(read);
}

struct ProgramRun {
  std::string output;
  std::string errors;
  int status;
  Files files;
};

/// Runs the program on `input` in a folder holding `files`; returns what it
/// wrote and every file in the folder afterwards.
ProgramRun run_program(const std::string& input, const Files& files = {},
                const std::string& output = "out.bin") {
  testing::TemporaryFolder folder;
  std::filesystem::create_directory("work");
  for (const auto& [name, bytes] : files) write_file("work/" + name, bytes);
  // Typed as the platform ends its lines, which a text-mode input takes back.
  write_file("input", text(input));
  // An output starting with "|" is a pipe into a command that writes out.bin.
  bool piped = output[0] == '|';
  std::string command = "cd work && cat ../input | " + program() + " 2> ../errors" +
                        (piped ? " " : " >") + output;
  int status = std::system(command.c_str());
  ProgramRun run{"", read_file("errors"), WIFEXITED(status) ? WEXITSTATUS(status) : -1, {}};
  if (output == "out.bin" || piped) {
    run.output = read_file("work/out.bin");
    std::filesystem::remove("work/out.bin");
  }
  for (const auto& entry : std::filesystem::directory_iterator("work")) {
    run.files[entry.path().filename().string()] = read_file(entry.path());
  }
  return run;
}

TEST(EndToEnd, HelpPageAndEndOfTheDialogue) {
  ProgramRun run = run_program("8\nn\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(run.output,
            text(MENU_TEXT + testing::HELP + CONTINUE));
}

TEST(EndToEnd, MenuRefusalsAndEndOfInput) {
  // Refused answers show the menu again; "y5" answers the continue question and
  // then chooses 5, whose name prompt finds the end of input.
  ProgramRun run = run_program("9\n" + std::string(150, '1') + "\n0\ny5\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, text(MENU_TEXT + MENU_TEXT + MENU_TEXT + MENU_TEXT + CONTINUE +
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
  std::string bytes = testing::all_byte_values() + "\r\n\x1A";
  std::string enciphered = bytes;
  for (char& byte : enciphered) byte = static_cast<char>(byte ^ 0x2A);
  const std::string asked = NAME_PROMPT + " = 259 octets\nAttention. Tous les octets vont Etre "
                            "modifiEs.\nSouhaitez vous crypter/dEcrypter ? (y/N) : ClE de "
                            "cryptage/dEcryptage (1 A 255) = ";
  ProgramRun once = run_program("7\nf.bin\ny\n42abc\nn\n", {{"f.bin", bytes}});
  EXPECT_EQ(once.output,
            text(MENU_TEXT + asked + "Fichier cryptE / dEcryptE\n" + CONTINUE));
  EXPECT_EQ(once.files, (Files{{"f.bin", enciphered}}));
  ProgramRun twice = run_program("7\nf.bin\ny\n42\ny7\nf.bin\ny\n42\nn\n", {{"f.bin", bytes}});
  EXPECT_EQ(twice.files, (Files{{"f.bin", bytes}}));
  ProgramRun refused = run_program("7\nf.bin\ny\n256\nn\n", {{"f.bin", bytes}});
  EXPECT_EQ(refused.output, text(MENU_TEXT + asked + CONTINUE));
  EXPECT_EQ(refused.files, (Files{{"f.bin", bytes}}));
}

TEST(EndToEnd, ByteViewsThroughAPipeShowEveryByte) {
  // Larger than any pipe, so that the program waits on a slow reader; the pipe
  // may be enlarged, and nothing may be lost or repeated either way.
  const std::string bytes = testing::pseudo_random_bytes(3 * 1024 * 1024 + 5, 3);
  Files files{{"f.bin", bytes}};
  for (const char* choice : {"4", "5", "6"}) {
    std::string input = std::string(choice) + "\nf.bin\nn\n";
    ProgramRun to_file = run_program(input, files);
    ProgramRun piped = run_program(input, files, "| (sleep 0.2; cat) > out.bin");
    EXPECT_EQ(piped.status, 0) << choice;
    EXPECT_GT(to_file.output.size(), bytes.size() * 2) << choice;
    EXPECT_TRUE(piped.output == to_file.output) << "view " << choice << " differs through a pipe";
  }
}

TEST(EndToEnd, LostOutputIsReportedAndEndsTheDialogue) {
  if (windows_line_ends()) GTEST_SKIP() << "needs /dev/full";
  // A full device, and a closed standard output whose number an opened file
  // could take: the dialogue stops before any file is written.
  for (std::string output : {"/dev/full", "&-"}) {
    ProgramRun run = run_program("1\nf.txt\nun\nfin\nn\n", {}, output);
    EXPECT_EQ(run.status, 1) << output;
    EXPECT_EQ(run.errors, "octets : Ecriture impossible sur la sortie standard\n") << output;
    EXPECT_EQ(run.files, Files{}) << output;
  }
}

}  // namespace
}  // namespace octets
