// The built program's own process under real faults: file size limits, a full
// disk, failing syncs and writes, memory running out, signals during a pass,
// another program acting on the file, and an input that waits or fails.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

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
    // The signals that dump a core leave none in the test folders.
    rlimit core{};
    getrlimit(RLIMIT_CORE, &core);
    core.rlim_cur = 0;
    setrlimit(RLIMIT_CORE, &core);
  }
  TemporaryFolder folder;
};

/// How many typed lines the dialogue says did not reach the file: those a
/// failed write lost, then those read after it up to "fin". -1 when no failure
/// is told, or the dialogue does not end with the continue question.
int lines_told_lost(const std::string& output, const std::string& name) {
  const std::size_t told = output.rfind("Erreur d'Ecriture : ");
  if (told == std::string::npos || !output.ends_with(CONTINUE)) return -1;
  std::string rest = output.substr(told, output.size() - told - CONTINUE.size());
  int prompts = 0;
  for (; rest.ends_with(LINE_PROMPT); ++prompts) rest.resize(rest.size() - LINE_PROMPT.size());
  // Takes `text` off the front of the rest, if the rest starts with it.
  auto take = [&rest](const std::string& text) {
    if (!rest.starts_with(text)) return false;
    rest.erase(0, text.size());
    return true;
  };
  int lost = 1;
  if (!take("Erreur d'Ecriture : la derniEre ligne n'a pas pu Etre Ecrite")) {
    if (!take("Erreur d'Ecriture : les ") || !std::isdigit(static_cast<unsigned char>(rest[0]))) {
      return -1;
    }
    std::size_t digits = 0;
    lost = std::stoi(rest, &digits);
    rest.erase(0, digits);
    if (!take(" derniEres lignes n'ont pas pu Etre Ecrites")) return -1;
  }
  if (!take(" dans le fichier '" + name + "'")) return -1;
  const bool lines_follow = take(" ; les lignes suivantes ne seront pas enregistrEes");
  if (rest != "\n") return -1;
  // The last prompt read "fin"; without lines after it, none is asked.
  if (!lines_follow) return prompts == 0 ? lost : -1;
  return lost + prompts - 1;
}

/// A number in /proc/PID/`file`: the one after `key`, or the first; -1 if none.
long long proc_number(pid_t pid, const char* file, const std::string& key = "") {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
  for (std::string word; !key.empty() && in >> word && word != key;) {
  }
  long long number = -1;
  in >> number;
  return number;
}

/// Polls until `done` holds, 10 s at most.
void poll_until(const std::function<bool()>& done) {
  for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
       !done() && std::chrono::steady_clock::now() < deadline;) {
  }
}

/// Polls until `ready`, stops the program, and says whether it was `caught`
/// where it had to be.
bool stop_when(const RunningProgram& program, const std::function<bool()>& ready,
               const std::function<bool()>& caught) {
  poll_until(ready);
  kill(program.pid(), SIGSTOP);
  waitpid(program.pid(), nullptr, WUNTRACED);
  return caught();
}

/// Stops the program in the middle of its pass over `size` bytes, as its count
/// of bytes written shows. False when the pass was over or had not begun, and
/// when the program stands between a look at the size and the write that
/// follows (the system call it is stopped in): the one instant no check covers.
bool stop_mid_pass(const RunningProgram& program, std::int64_t size) {
  const auto written = [&] { return proc_number(program.pid(), "io", "wchar:"); };
  return stop_when(program, [&] { return written() >= 256 * 1024; }, [&] {
    long long call = proc_number(program.pid(), "syscall");
    return written() >= 256 * 1024 && written() < size && call != SYS_fstat &&
           call != SYS_newfstatat && call != SYS_statx;
  });
}

/// `blocks` MiB of pseudo-random bytes, on a RAM file system by default: a
/// pass over it lasts long enough to be caught midway.
struct BigFile {
  std::filesystem::path folder = std::filesystem::exists("/dev/shm") ? "/dev/shm" : ".";
  int blocks = 256;
  std::string name = "octets-big-" + std::to_string(getpid());
  std::string block = pseudo_random_bytes(1 << 20, 3);

  ~BigFile() { std::filesystem::remove(path()); }
  std::filesystem::path path() const { return folder / name; }
  std::int64_t size() const { return std::int64_t{blocks} << 20; }
  void write() const {
    std::ofstream out(path(), std::ios::binary);
    for (int i = 0; i < blocks; ++i) out << block;
  }
  /// Whether `file` holds the first `plain` bytes of the original, then `tail`.
  bool holds(std::int64_t plain, const std::string& tail = "",
             std::filesystem::path file = {}) const {
    std::ifstream in(file.empty() ? path() : file, std::ios::binary);
    for (std::string piece; plain > 0; plain -= static_cast<std::int64_t>(piece.size())) {
      piece.resize(static_cast<std::size_t>(std::min<std::int64_t>(plain, 1 << 20)));
      if (!in.read(piece.data(), std::ssize(piece)) || block.compare(0, piece.size(), piece) != 0) {
        return false;
      }
    }
    return std::string(std::istreambuf_iterator<char>(in), {}) == tail;
  }
};

TEST_F(Faults, FailedWritesAndSyncsAreReportedAndUndone) {
  const std::string bytes = pseudo_random_bytes(4 * 1024 * 1024, 7);
  struct Case {
    std::string input;
    RunningProgram::Options options;
    std::string said;
    std::string file;
    int status = 1;
  };
  const std::string put_back = " : le fichier a EtE remis dans son Etat d'origine\n";
  const Case cases[] = {
      // Storage that fails at write-back: the put back is synced again.
      {"7\nf.txt\ny\n42\n", {.environment = {"OCTETS_FAIL_SYNC=1"}}, "Erreur d'enregistrement sur le disque" + put_back,
       bytes},
      // A file system that cannot sync at all fails nothing.
      {"7\nf.txt\ny\n42\n", {.environment = {"OCTETS_FAIL_SYNC=9", "OCTETS_SYNC_ERRNO=22"}},
       "Fichier cryptE / dEcryptE\n", enciphered(bytes, 42), 0},
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
    // The rest of the dialogue runs as usual: "o" goes on, "8" shows the help.
    program.type(c.input + "o8\nn\n");
    EXPECT_EQ(program.finish(), c.status) << c.said;
    EXPECT_TRUE(program.output.ends_with(c.said + CONTINUE + MENU_TEXT + HELP + CONTINUE))
        << c.said;
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

TEST_F(Faults, OutOfMemoryInTheLineWriterKeepsTheWholeLinesRead) {
  if (!can_inject_faults()) GTEST_SKIP() << "no fault injection in this build";
  // Read from a file, the input never makes the program wait: the ten lines
  // are still in its batch when the long line outgrows what may be allocated.
  std::string lines;
  for (int i = 0; i < 10; ++i) lines += "ligne " + std::to_string(i) + "\n";
  write_file("input", "1\nf.txt\n" + lines + std::string(200000, 'x') + "\nfin\nn\n");
  const std::string command = fault_preload() + " OCTETS_FAIL_ALLOC_ABOVE=200000 '" +
                              OCTETS_BUILT_PROGRAM + "' < input > output 2> errors";
  int status = std::system(command.c_str());
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
  EXPECT_EQ(read_file("f.txt"), lines);
  EXPECT_TRUE(read_file("output").ends_with(
      LINE_PROMPT + "\nMEmoire insuffisante : le fichier 'f.txt' a EtE fermE avec les lignes "
                    "dEjA lues en entier\n"));
  EXPECT_EQ(read_file("errors"), "octets : MEmoire insuffisante\n");
}

const std::string INTERRUPTED =
    "Cryptage interrompu : le fichier a EtE remis dans son Etat d'origine\n";

TEST_F(Faults, InterruptedPassPutsTheFileBackThenEndsAsTheSignalAsks) {
  BigFile big;
  big.write();
  enum class Start { as_shell, ignored, blocked };
  struct Case {
    int signal;
    Start start = Start::as_shell;
  };
  // Signals that end the program, a real-time one and one that dumps a core
  // among them; SIGUSR1 ignored (it still shows as pending while it waits)
  // and SIGTERM blocked at start, which stay so: the pass ends well.
  const Case cases[] = {{SIGINT},  {SIGTERM}, {SIGHUP}, {SIGQUIT}, {SIGRTMAX},
                        {SIGUSR1, Start::ignored}, {SIGTERM, Start::blocked}};
  for (const Case& c : cases) {
    const bool held = c.start == Start::as_shell;
    int attempt = 1;
    for (; attempt <= 3; ++attempt) {
      std::signal(SIGUSR1, c.start == Start::ignored ? SIG_IGN : SIG_DFL);
      RunningProgram program(big.folder, {.environment = {},
                                          .blocked_signals = c.start == Start::blocked
                                                                 ? std::vector<int>{c.signal}
                                                                 : std::vector<int>{}});
      std::signal(SIGUSR1, SIG_DFL);
      program.type("7\n" + big.name + "\ny\n42\n");
      bool running = stop_mid_pass(program, big.size());
      if (running) kill(program.pid(), c.signal);
      kill(program.pid(), SIGCONT);
      int status = program.finish();
      if (!held || !running) big.write();
      if (!running) continue;
      // Ended by the signal itself, not by an exit status that looks like it.
      EXPECT_EQ(status, held ? 128 + c.signal : 0) << c.signal;
      EXPECT_EQ(program.ended_by, held ? c.signal : 0) << c.signal;
      EXPECT_TRUE(program.output.ends_with(held ? INTERRUPTED : CRYPTED + CONTINUE + "\n"))
          << c.signal;
      EXPECT_TRUE(!held || big.holds(big.size())) << c.signal;
      break;
    }
    EXPECT_LE(attempt, 3) << "the pass was never caught midway";
  }
  // Once the pass is over a signal ends the program as it always does.
  write_file("f.bin", "abc");
  RunningProgram after(folder.path());
  after.type("7\nf.bin\ny\n42\n");
  ASSERT_TRUE(after.wait_for(CRYPTED + CONTINUE));
  kill(after.pid(), SIGINT);
  EXPECT_EQ(after.finish(), 128 + SIGINT);
  EXPECT_EQ(read_file("f.bin"), enciphered("abc", 42));
}

// Until success is told, a signal puts the file back, the last sync's time
// included.
TEST_F(Faults, SignalDuringTheLastSyncPutsTheFileBack) {
  // Syncing takes time on a disk only.
  const auto on_disk = [](const std::filesystem::path& where) {
    struct statfs kind;
    return statfs(where.c_str(), &kind) == 0 && kind.f_type != 0x01021994;
  };
  BigFile big{.folder = on_disk(folder.path()) ? folder.path() : "/var/tmp", .blocks = 64};
  if (!on_disk(big.folder)) GTEST_SKIP() << "no disk file system to sync to";
  big.write();
  bool held = false;
  for (int attempt = 1; attempt <= 3 && !held; ++attempt) {
    RunningProgram program(big.folder);
    program.type("7\n" + big.name + "\ny\n42\n");
    // Seen in the sync, it stops as it comes out.
    const auto in_sync = [&] { return proc_number(program.pid(), "syscall") == SYS_fdatasync; };
    held = stop_when(program, in_sync, in_sync);
    if (held) kill(program.pid(), SIGINT);
    kill(program.pid(), SIGCONT);
    int status = program.finish();
    if (!held) big.write();
    if (!held) continue;
    EXPECT_EQ(status, 128 + SIGINT);
    EXPECT_TRUE(program.output.ends_with(INTERRUPTED));
    EXPECT_TRUE(big.holds(big.size()));
  }
  EXPECT_TRUE(held) << "the sync was never caught";
}

// As an editor saves, another program renames a new file over the name while
// the pass is held still: the file that was opened is put back.
TEST_F(Faults, FileReplacedDuringThePassIsPutBack) {
  BigFile big;
  // Names of this run's own: the folder may be shared with other users' runs.
  const std::string old = big.path().string() + ".old", renamed = big.path().string() + ".new";
  int attempt = 1;
  for (; attempt <= 3; ++attempt) {
    big.write();
    write_file(renamed, "NEW\n");
    std::filesystem::remove(old);
    std::filesystem::create_hard_link(big.path(), old);
    RunningProgram program(big.folder);
    program.type("7\n" + big.name + "\ny\n42\n");
    bool caught = stop_mid_pass(program, big.size());
    if (caught) std::filesystem::rename(renamed, big.path());
    kill(program.pid(), SIGCONT);
    EXPECT_EQ(program.finish(), caught ? 1 : 0);
    if (!caught) continue;
    EXPECT_TRUE(program.output.ends_with("Le fichier a EtE remplacE ou supprimE par un autre "
                                         "programme : le fichier a EtE remis dans son Etat "
                                         "d'origine\n" + CONTINUE + "\n"));
    EXPECT_TRUE(big.holds(0, "NEW\n"));
    EXPECT_TRUE(big.holds(big.size(), "", old));
    break;
  }
  EXPECT_LE(attempt, 3) << "the pass was never caught midway";
  std::filesystem::remove(old);
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
  EXPECT_EQ(second.finish(), 1);
  EXPECT_TRUE(second.output.ends_with(NAME_PROMPT + "Le fichier est ouvert par un autre programme "
                                      "qui va le crypter : il n'a pas EtE modifiE\n" + CONTINUE));
  // ...and the first finds the file grown since it showed its size.
  std::ofstream("f.bin", std::ios::app) << "plus";
  first.type("y\n42\nn\n");
  EXPECT_EQ(first.finish(), 1);
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

TEST_F(Faults, NonBlockingOutputIsWaitedFor) {
  // A view of 6 MiB into a non-blocking pipe whose reader comes only once the
  // program has met it full.
  const std::string bytes = pseudo_random_bytes(2 << 20, 5);
  write_file("f.bin", bytes);
  RunningProgram program(folder.path(), {.environment = {}, .nonblocking_output = true});
  program.type("5\nf.bin\nn\n");
  const auto met_full = [&] {
    std::ifstream stat("/proc/" + std::to_string(program.pid()) + "/stat");
    std::string pid, name, state;
    stat >> pid >> name >> state;
    long long call = proc_number(program.pid(), "syscall");
    return state == "Z" || (state == "S" && (call == SYS_poll || call == SYS_ppoll));
  };
  poll_until(met_full);
  EXPECT_EQ(program.finish(), 0) << program.errors;
  EXPECT_TRUE(program.output == MENU_TEXT + byte_view(bytes.size(), 16, hexadecimal_values(bytes)) +
                                   CONTINUE)
      << program.output.size();
}

/// A file system of its own, small enough to be filled, mounted in the test's
/// folder as "small"; only root can mount one.
class SmallDisk : public Faults {
 protected:
  void SetUp() override {
    Faults::SetUp();
    if (IsSkipped()) return;
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    std::filesystem::create_directory("small");
    if (mount("octets-test", "small", "tmpfs", 0, "size=4m") != 0) {
      GTEST_SKIP() << "no tmpfs could be mounted here";
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) umount("small");
  }
  /// Fills what room is left with another file.
  static void fill() {
    std::ofstream filler("small/filler", std::ios::binary | std::ios::app);
    const std::string block(4096, 'F');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
    }
  }
  bool mounted_ = false;
};

TEST_F(SmallDisk, FullDiskLeavesWholeLines) {
  std::string lines;
  for (int i = 0; i < 1000; ++i) lines += std::string(98, 'a' + i % 26) + "\n";
  write_file("small/filler", std::string(4 * 1024 * 1024 - 64 * 1024, 'F'));
  RunningProgram program(folder.path() / "small");
  // The rest of the dialogue runs as usual ("o" goes on, "8" shows the help),
  // and the status then tells of the failure.
  program.type("1\nf.txt\n" + lines + "fin\no8\nn\n");
  EXPECT_EQ(program.finish(), 1);
  EXPECT_TRUE(program.output.ends_with(CONTINUE + MENU_TEXT + HELP + CONTINUE));
  // What the failure told, without what followed it.
  program.output.resize(program.output.size() - (MENU_TEXT + HELP + CONTINUE).size());
  std::string file = read_file("small/f.txt");
  EXPECT_GT(file.size(), 0u);
  EXPECT_EQ(file, lines.substr(0, file.size()));
  EXPECT_EQ(file.size() % 99, 0u);
  EXPECT_EQ(lines_told_lost(program.output, "f.txt"), static_cast<int>(1000 - file.size() / 99));
}

TEST_F(SmallDisk, FailedLineNeverCutsWhatAnotherProgramWrote) {
  // The program appends a line and waits; another program changes the file
  // and the disk fills; the program's next line cannot be written.
  const std::string others = [] {
    std::string text;
    for (int i = 0; i < 371; ++i) text += "ligne de B " + std::to_string(i) + "\n";
    return text;
  }();
  const std::string long_line(5000, 'A');
  struct Case {
    const char* change;
    std::string file;
  };
  const Case cases[] = {
      {"appended", "a1\n" + others},
      {"emptied", ""},
  };
  for (const Case& c : cases) {
    std::filesystem::remove("small/filler");
    write_file("small/log", "");
    RunningProgram program(folder.path() / "small");
    program.type("2\nlog\na1\n");
    ASSERT_TRUE(program.wait_for(LINE_PROMPT + LINE_PROMPT));
    if (c.file.empty()) {
      std::filesystem::resize_file("small/log", 0);
    } else {
      std::ofstream("small/log", std::ios::app) << others;
    }
    fill();
    program.type(long_line + "\nencore\nfin\nn\n");
    EXPECT_EQ(program.finish(), 1) << c.change;
    EXPECT_TRUE(read_file("small/log") == c.file) << c.change;
    EXPECT_EQ(lines_told_lost(program.output, "log"), 2)
        << c.change << program.output.substr(program.output.size() - 300);
  }
  // A line past 1 MiB goes out in parts: another program appends between
  // them, so the part already written is no longer the file's end and stays.
  std::filesystem::remove("small/filler");
  write_file("small/log", "");
  RunningProgram program(folder.path() / "small");
  program.type("2\nlog\n");
  const std::string part(32 * 1024, 'P');
  // Typed while the prompts are read, so that neither side waits for ever.
  std::atomic<bool> typed = false;
  std::thread typist([&] {
    for (int i = 0; i < 33; ++i) program.type(part);
    typed = true;
  });
  while (!typed) program.read_output();
  typist.join();
  // The pieces held pass 1 MiB at a whole piece of 99 characters: that much
  // reaches the file once the program has taken it in.
  const std::uintmax_t first_part = 99 * (1024 * 1024 / 99 + 1);
  poll_until([&] {
    program.read_output();
    return std::filesystem::file_size("small/log") >= first_part;
  });
  ASSERT_EQ(std::filesystem::file_size("small/log"), first_part);
  std::ofstream("small/log", std::ios::app) << "B\n";
  fill();
  program.type(part + "\nfin\nn\n");
  EXPECT_EQ(program.finish(), 1);
  // Another program's line is kept; after it may remain the piece that was
  // written of the rest, which the message tells of.
  std::string log = read_file("small/log");
  EXPECT_TRUE(log.substr(0, first_part + 2) == std::string(first_part, 'P') + "B\n");
  EXPECT_EQ(log.find_first_not_of('P', first_part + 2), std::string::npos);
  EXPECT_TRUE(program.output.ends_with("\nErreur d'Ecriture : un morceau de la derniEre ligne est "
                                       "peut-Etre restE A la fin du fichier 'log'\n" + CONTINUE));
}

TEST_F(Faults, ReaderGoneWhileALineIsTypedLeavesNoPieceOfIt) {
  // The output's reader goes away while the rest of a long line is awaited:
  // the program ends by the signal, with only whole lines in the file.
  RunningProgram program(folder.path());
  program.type("1\nf.txt\nok\n");
  ASSERT_TRUE(program.wait_for(LINE_PROMPT + LINE_PROMPT));
  program.close_output();
  program.type(std::string(120, 'x'));
  // Ended while its input is still open: the end of input would end the line.
  siginfo_t ended{};
  poll_until([&] { return waitid(P_PID, program.pid(), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                          ended.si_pid != 0; });
  EXPECT_EQ(program.finish(), 128 + SIGPIPE);
  EXPECT_EQ(read_file("f.txt"), "ok\n");
}

}  // namespace
}  // namespace octets::test
