// Runs the built program with a piped standard input, in a fresh folder, and
// compares its whole standard output, its exit status and the files it leaves
// byte for byte.
//
// OCTETS_PROGRAM names the command to run instead of the program built beside
// this test (a Windows build under an emulator, say); OCTETS_LINE_END=crlf says
// that it follows the Windows text mode: CR LF line ends, and 0x1A ending a text
// that is read.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace octets {
namespace {

using testing::CONTINUE;
using testing::enciphered;
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
  std::string bytes = testing::all_byte_values() + "\r\n\x1A";
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
  const std::string bytes = testing::pseudo_random_bytes(3 * 1024 * 1024 + 5, 3);
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

/// The built program running in `folder`, with its standard input, output and
/// error on pipes of the test.
struct Launch {
  std::vector<std::string> environment;
  bool nonblocking_input = false;
  rlim_t file_limit = RLIM_INFINITY;
};

class RunningProgram {
 public:
  using Options = Launch;
  explicit RunningProgram(const std::filesystem::path& folder) : RunningProgram(folder, Launch{}) {}
  RunningProgram(const std::filesystem::path& folder, const Options& options) {
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
    if (options.nonblocking_input) fcntl(in[0], F_SETFL, O_NONBLOCK);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(err[1], 2);
      for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
      // As a shell would start it: default signal handling, the limit given.
      for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ, SIGPIPE}) std::signal(signal, SIG_DFL);
      rlimit limit{options.file_limit, options.file_limit};
      setrlimit(RLIMIT_FSIZE, &limit);
      if (chdir(folder.c_str()) != 0) _exit(120);
      for (const std::string& setting : options.environment) putenv(strdup(setting.c_str()));
      execl(OCTETS_BUILT_PROGRAM, "octets", nullptr);
      _exit(121);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    in_ = in[1];
    out_ = out[0];
    err_ = err[0];
  }
  ~RunningProgram() {
    if (pid_ > 0) finish();
  }

  void type(const std::string& text) {
    ASSERT_EQ(write(in_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }

  /// Reads the output until it ends with `text`; false after 10 s or at its end.
  bool wait_for(const std::string& text) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!output.ends_with(text)) {
      pollfd ready{out_, POLLIN, 0};
      if (std::chrono::steady_clock::now() > deadline || poll(&ready, 1, 100) < 0) return false;
      char buffer[4096];
      ssize_t n = (ready.revents & (POLLIN | POLLHUP)) ? read(out_, buffer, sizeof buffer) : 1;
      if (n <= 0) return false;
      if (ready.revents & POLLIN) output.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
  }

  /// Ends the input, reads everything the program writes and waits for its end;
  /// returns its status as a shell gives it (128 + the signal that ended it).
  int finish() {
    if (in_ >= 0) close(in_);
    in_ = -1;
    char buffer[4096];
    for (ssize_t n; (n = read(out_, buffer, sizeof buffer)) > 0;) output.append(buffer, n);
    for (ssize_t n; (n = read(err_, buffer, sizeof buffer)) > 0;) errors.append(buffer, n);
    close(out_);
    close(err_);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  }

  pid_t pid() const { return pid_; }
  std::string output;
  std::string errors;

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
};

/// The program's own process under faults: these run the built program only.
class Faults : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("OCTETS_PROGRAM") != nullptr) GTEST_SKIP() << "runs the native program only";
  }
  testing::TemporaryFolder folder;
};

const std::string CRYPT_ASKED = " octets\nAttention. Tous les octets vont Etre modifiEs.\n"
                                "Souhaitez vous crypter/dEcrypter ? (y/N) : ";

TEST_F(Faults, FailedWritesAndSyncsAreReportedAndUndone) {
  const std::string bytes = testing::pseudo_random_bytes(4 * 1024 * 1024, 7);
  const std::string lines = [] {
    std::string text;
    for (int i = 0; i < 1100; ++i) text += std::string(98, 'a' + i % 26) + "\n";
    return text;
  }();
  struct Case {
    std::string input;
    RunningProgram::Options options;
    std::string said;
    std::string file;
  };
  const std::string no_line = "Erreur d'Ecriture : la derniEre ligne n'a pas pu Etre Ecrite dans "
                              "le fichier 'f.txt'\n";
  const std::string put_back = " : le fichier a EtE remis dans son Etat d'origine\n";
  const Case cases[] = {
      // A file size limit: the write fails, the program goes on.
      {"1\nf.txt\n" + lines, {.environment = {}, .file_limit = 100 * 1024}, no_line, lines.substr(0, 1034 * 99)},
      {"7\nf.txt\ny\n42\n", {.environment = {}, .file_limit = 2 * 1024 * 1024}, "Erreur d'Ecriture" + put_back,
       bytes},
      // Storage that fails at write-back, once or for good.
      {"7\nf.txt\ny\n42\n", {.environment = {"OCTETS_FAIL_SYNC=1"}}, "Erreur d'enregistrement sur le disque" + put_back,
       bytes},
      {"7\nf.txt\ny\n42\n", {.environment = {"OCTETS_FAIL_SYNC=2"}},
       "Erreur d'enregistrement sur le disque : le fichier a EtE remis dans son Etat d'origine "
       "sans confirmation du disque ; les 4194304 premiers octets sont peut-Etre cryptEs\n",
       bytes},
      // A file system that cannot sync at all fails nothing.
      {"7\nf.txt\ny\n42\n", {.environment = {"OCTETS_FAIL_SYNC=9", "OCTETS_SYNC_ERRNO=22"}},
       "Fichier cryptE / dEcryptE\n", enciphered(bytes, 42)},
      {"1\nf.txt\nun\nfin\n", {.environment = {"OCTETS_FAIL_SYNC=1"}},
       "Erreur d'Ecriture : le fichier 'f.txt' est incomplet\n", "un\n"},
      // Writes that fail for good: what was rewritten stays, and is told.
      {"7\nf.txt\ny\n42\n", {.environment = {"OCTETS_FAIL_WRITES_AFTER=300000"}},
       "Erreur d'Ecriture : le fichier n'a pas pu Etre remis dans son Etat d'origine ; les "
       "300000 premiers octets sont cryptEs\n",
       enciphered(bytes.substr(0, 300000), 42) + bytes.substr(300000)},
  };
  for (const Case& c : cases) {
    if (!c.options.environment.empty() && OCTETS_FAULT_SHIM[0] == '\0') continue;
    testing::write_file("f.txt", bytes);
    RunningProgram::Options options = c.options;
    options.environment.push_back(std::string("LD_PRELOAD=") + OCTETS_FAULT_SHIM);
    RunningProgram program(folder.path(), options);
    program.type(c.input + "n\n");
    EXPECT_EQ(program.finish(), 0) << c.said;
    // Lines typed after a failed line write go on to the menu, which refuses them.
    EXPECT_NE(program.output.find(c.said + CONTINUE), std::string::npos) << c.said;
    EXPECT_TRUE(testing::read_file("f.txt") == c.file) << c.said;
  }
}

TEST_F(Faults, OutOfMemoryIsReported) {
  testing::write_file("f.bin", "abc");
  if (OCTETS_FAULT_SHIM[0] == '\0') GTEST_SKIP() << "no fault injection in this build";
  RunningProgram program(folder.path(),
                         {.environment = {std::string("LD_PRELOAD=") + OCTETS_FAULT_SHIM,
                                          "OCTETS_FAIL_ALLOC_ABOVE=100000"}});
  program.type("5\nf.bin\nn\n");
  EXPECT_EQ(program.finish(), 1);
  EXPECT_EQ(program.errors, "octets : MEmoire insuffisante\n");
}

TEST_F(Faults, InterruptedPassPutsTheFileBackThenEndsAsTheSignalAsks) {
  // A file large enough that the pass is still running when the signal comes,
  // on a RAM file system when there is one.
  std::filesystem::path where = std::filesystem::exists("/dev/shm") ? "/dev/shm" : ".";
  std::filesystem::path big = where / ("octets-big-" + std::to_string(getpid()));
  const std::string block = testing::pseudo_random_bytes(1 << 20, 3);
  const int blocks = 384;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    for (int attempt = 1;; ++attempt) {
      {
        std::ofstream out(big, std::ios::binary);
        for (int i = 0; i < blocks; ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
      }
      RunningProgram program(where);
      program.type("7\n" + big.filename().string() + "\ny\n42\n");
      // The first chunk changes as soon as the pass has begun.
      std::ifstream file(big, std::ios::binary);
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      for (char first = block[0]; first == block[0] && std::chrono::steady_clock::now() < deadline;) {
        file.seekg(0);
        file.get(first);
      }
      // Held still, the program cannot end the pass between a look at the
      // file's last byte and the signal.
      kill(program.pid(), SIGSTOP);
      waitpid(program.pid(), nullptr, WUNTRACED);
      char last = 0;
      file.seekg(-1, std::ios::end);
      file.get(last);
      bool running = last == block.back();
      if (running) kill(program.pid(), signal);
      kill(program.pid(), SIGCONT);
      int status = program.finish();
      if (!running && attempt < 3) continue;
      EXPECT_EQ(status, 128 + signal);
      EXPECT_TRUE(program.output.ends_with("Cryptage interrompu : le fichier a EtE remis dans son "
                                           "Etat d'origine\n")) << signal;
      std::ifstream check(big, std::ios::binary);
      std::string piece(block.size(), '\0');
      int same = 0;
      while (check.read(piece.data(), static_cast<std::streamsize>(piece.size()))) same += piece == block;
      EXPECT_EQ(same, blocks) << signal;
      break;
    }
  }
  std::filesystem::remove(big);
  // Outside the pass a signal ends the program as it always does.
  RunningProgram waiting(folder.path());
  ASSERT_TRUE(waiting.wait_for(" Votre choix : "));
  kill(waiting.pid(), SIGINT);
  EXPECT_EQ(waiting.finish(), 128 + SIGINT);
}

TEST_F(Faults, SecondEncipherAndChangedFileAreLeftAlone) {
  const std::string bytes = "une ligne\n";
  testing::write_file("f.bin", bytes);
  RunningProgram first(folder.path());
  first.type("7\nf.bin\n");
  ASSERT_TRUE(first.wait_for("(y/N) : "));
  // A second one is refused while the first holds the file...
  RunningProgram second(folder.path());
  second.type("7\nf.bin\nn\n");
  EXPECT_EQ(second.finish(), 0);
  EXPECT_TRUE(second.output.ends_with(NAME_PROMPT + "Le fichier est en cours de cryptage par un "
                                      "autre programme : il n'a pas EtE modifiE\n" + CONTINUE));
  // ...and the first finds the file grown since it showed its size.
  std::ofstream("f.bin", std::ios::app) << "plus";
  first.type("y\n42\nn\n");
  EXPECT_EQ(first.finish(), 0);
  EXPECT_TRUE(first.output.ends_with("Le fichier a changE depuis qu'il a EtE mesurE : il n'a pas "
                                     "EtE modifiE\n" + CONTINUE));
  EXPECT_EQ(testing::read_file("f.bin"), bytes + "plus");
}

TEST_F(Faults, StandardInputThatWaitsOrFails) {
  // A non-blocking input with nothing in it yet is waited for.
  RunningProgram program(folder.path(), {.environment = {}, .nonblocking_input = true});
  ASSERT_TRUE(program.wait_for(MENU_TEXT));
  program.type("8\nn\n");
  EXPECT_EQ(program.finish(), 0);
  EXPECT_EQ(program.output, MENU_TEXT + testing::HELP + CONTINUE);
  // A folder cannot be read: that is no end of input.
  ProgramRun run = run_program("", {}, "out.bin < .");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.errors, "octets : Lecture impossible sur l'entrEe standard\n");
}

TEST_F(Faults, FullDiskLeavesWholeLines) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  std::filesystem::create_directory("small");
  if (mount("octets-test", "small", "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "no tmpfs could be mounted here";
  }
  std::string lines;
  for (int i = 0; i < 1000; ++i) lines += std::string(98, 'a' + i % 26) + "\n";
  RunningProgram program(folder.path() / "small");
  program.type("1\nf.txt\n" + lines + "n\n");
  EXPECT_EQ(program.finish(), 0);
  std::string file = testing::read_file("small/f.txt");
  umount("small");
  EXPECT_GT(file.size(), 0u);
  EXPECT_EQ(file, lines.substr(0, file.size()));
  EXPECT_EQ(file.size() % 99, 0u);
  EXPECT_NE(program.output.find("la derniEre ligne n'a pas pu Etre Ecrite dans le fichier "
                                "'f.txt'\n" + CONTINUE),
            std::string::npos);
}

}  // namespace
}  // namespace octets
