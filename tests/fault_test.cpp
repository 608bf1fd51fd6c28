// The built program's own process under real faults: file size limits, a full
// disk, failing syncs and writes, memory running out, signals during a pass,
// another program acting on the file, and an input that waits or fails.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "program_run.h"
#include "running_program.h"
#include "test_support.h"

namespace octets::test {
namespace {

/// The program's own process under faults: these run the built program only.
class Faults : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!runs_built_program()) GTEST_SKIP() << "runs the native program only";
  }
  TemporaryFolder folder;
};

TEST_F(Faults, FailedWritesAndSyncsAreReportedAndUndone) {
  const std::string bytes = pseudo_random_bytes(4 * 1024 * 1024, 7);
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
    if (!c.options.environment.empty() && !can_inject_faults()) continue;
    write_file("f.txt", bytes);
    RunningProgram::Options options = c.options;
    options.environment.push_back(fault_preload());
    RunningProgram program(folder.path(), options);
    program.type(c.input + "n\n");
    EXPECT_EQ(program.finish(), 0) << c.said;
    // Lines typed after a failed line write go on to the menu, which refuses them.
    EXPECT_NE(program.output.find(c.said + CONTINUE), std::string::npos) << c.said;
    EXPECT_TRUE(read_file("f.txt") == c.file) << c.said;
  }
}

TEST_F(Faults, OutOfMemoryIsReported) {
  write_file("f.bin", "abc");
  if (!can_inject_faults()) GTEST_SKIP() << "no fault injection in this build";
  RunningProgram program(folder.path(),
                         {.environment = {fault_preload(),
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
  const std::string block = pseudo_random_bytes(1 << 20, 3);
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
  write_file("f.bin", bytes);
  RunningProgram first(folder.path());
  first.type("7\nf.bin\n");
  ASSERT_TRUE(first.wait_for("(y/N) : "));
  // A second one is refused while the first holds the file...
  RunningProgram second(folder.path());
  second.type("7\nf.bin\nn\n");
  EXPECT_EQ(second.finish(), 0);
  EXPECT_TRUE(second.output.ends_with(NAME_PROMPT + "Le fichier est ouvert par un autre programme "
                                      "qui va le crypter : il n'a pas EtE modifiE\n" + CONTINUE));
  // ...and the first finds the file grown since it showed its size.
  std::ofstream("f.bin", std::ios::app) << "plus";
  first.type("y\n42\nn\n");
  EXPECT_EQ(first.finish(), 0);
  EXPECT_TRUE(first.output.ends_with("Le fichier a changE depuis qu'il a EtE mesurE : il n'a pas "
                                     "EtE modifiE\n" + CONTINUE));
  EXPECT_EQ(read_file("f.bin"), bytes + "plus");
}

TEST_F(Faults, StandardInputThatWaitsOrFails) {
  // A non-blocking input with nothing in it yet is waited for.
  RunningProgram program(folder.path(), {.environment = {}, .nonblocking_input = true});
  ASSERT_TRUE(program.wait_for(MENU_TEXT));
  program.type("8\nn\n");
  EXPECT_EQ(program.finish(), 0);
  EXPECT_EQ(program.output, MENU_TEXT + HELP + CONTINUE);
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
  std::string file = read_file("small/f.txt");
  umount("small");
  EXPECT_GT(file.size(), 0u);
  EXPECT_EQ(file, lines.substr(0, file.size()));
  EXPECT_EQ(file.size() % 99, 0u);
  EXPECT_NE(program.output.find("la derniEre ligne n'a pas pu Etre Ecrite dans le fichier "
                                "'f.txt'\n" + CONTINUE),
            std::string::npos);
}

}  // namespace
}  // namespace octets::test
