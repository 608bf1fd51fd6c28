// The built program's own process under real faults: file size limits, a full
// disk, failing syncs and writes, memory running out, signals during a pass,
// another program acting on the file, and an input that waits or fails.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
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
  const std::string failure = "Erreur d'Ecriture : ";
  const std::size_t told = output.rfind(failure);
  if (told == std::string::npos) return -1;
  std::string rest = output.substr(told + failure.size());
  // Takes `text` off the front of the rest, if the rest starts with it.
  auto take = [&rest](const std::string& text) {
    if (rest.compare(0, text.size(), text) != 0) return false;
    rest.erase(0, text.size());
    return true;
  };
  int lost = 1;
  if (!take("la derniEre ligne n'a pas pu Etre Ecrite")) {
    if (!take("les ") || !std::isdigit(static_cast<unsigned char>(rest[0]))) return -1;
    std::size_t digits = 0;
    lost = std::stoi(rest, &digits);
    rest.erase(0, digits);
    if (!take(" derniEres lignes n'ont pas pu Etre Ecrites")) return -1;
  }
  if (!take(" dans le fichier '" + name + "'")) return -1;
  const bool lines_follow = take(" ; les lignes suivantes ne seront pas enregistrEes");
  if (!take("\n")) return -1;
  int prompts = 0;
  while (take(LINE_PROMPT)) ++prompts;
  if (rest != CONTINUE) return -1;
  // The last prompt read "fin"; without lines after it, none is asked.
  return lines_follow ? lost + prompts - 1 : (prompts == 0 ? lost : -1);
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

/// The state of the program's lease ("ACTIVE", "BREAKING" once another program
/// asked for the file), or "" when it holds none.
std::string lease_of(pid_t pid) {
  std::ifstream locks("/proc/locks");
  std::string number, kind, state, type, holder;
  for (; locks >> number >> kind >> state >> type >> holder; locks.ignore(1 << 12, '\n')) {
    if (kind == "LEASE" && holder == std::to_string(pid)) return state;
  }
  return "";
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
/// follows (the system call it is stopped in): the one instant no check covers
/// without a lease.
bool stop_mid_pass(const RunningProgram& program, std::int64_t size) {
  const auto written = [&] { return proc_number(program.pid(), "io", "wchar:"); };
  return stop_when(program, [&] { return written() >= 256 * 1024; }, [&] {
    long long call = proc_number(program.pid(), "syscall");
    return written() >= 256 * 1024 && written() < size && call != SYS_fstat &&
           call != SYS_newfstatat && call != SYS_statx;
  });
}

/// Runs `act` in a process of its own, as another program would.
pid_t another_program(const std::function<void()>& act) {
  pid_t pid = fork();
  if (pid == 0) {
    act();
    _exit(0);
  }
  return pid;
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
  const std::string put_back = " : le fichier a EtE remis dans son Etat d'origine\n";
  const Case cases[] = {
      // A file size limit: the write fails, the program goes on.
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
    EXPECT_NE(program.output.find(c.said + CONTINUE), std::string::npos) << c.said;
    EXPECT_TRUE(read_file("f.txt") == c.file) << c.said;
  }
  // The 1035th line cannot be written: the lines from it on are told lost,
  // and those after the failure are still read up to "fin", so that "n"
  // answers the continue question.
  RunningProgram program(folder.path(), {.environment = {}, .file_limit = 100 * 1024});
  program.type("1\nf.txt\n" + lines + "fin\nn\n");
  EXPECT_EQ(program.finish(), 0);
  EXPECT_TRUE(read_file("f.txt") == lines.substr(0, 1034 * 99));
  EXPECT_EQ(lines_told_lost(program.output, "f.txt"), 1100 - 1034) << program.output.substr(0, 300);
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
  // Every signal that would end the program, SIGIO as a program sends it and
  // the C library's own two (32 and 33) included; and SIGUSR1 ignored or
  // SIGTERM blocked at start, which stay so: the pass ends well.
  const Case cases[] = {{SIGINT}, {SIGTERM}, {SIGHUP}, {SIGQUIT}, {SIGUSR1}, {SIGUSR2},
                        {SIGALRM}, {SIGVTALRM}, {SIGPROF}, {SIGXCPU}, {SIGPIPE}, {SIGIO},
                        {SIGRTMIN - 2}, {SIGRTMIN - 1}, {SIGRTMIN}, {SIGRTMAX}, {SIGABRT},
                        {SIGSEGV}, {SIGUSR1, Start::ignored}, {SIGTERM, Start::blocked}};
  for (const Case& c : cases) {
    const bool held = c.start == Start::as_shell;
    int attempt = 1;
    for (; attempt <= 3; ++attempt) {
      std::signal(SIGUSR1, c.start == Start::ignored ? SIG_IGN : SIG_DFL);
      RunningProgram program(big.folder, {.environment = {},
                                          .blocked_signals = held ? std::vector<int>{}
                                                                  : std::vector<int>{c.signal}});
      std::signal(SIGUSR1, SIG_DFL);
      program.type("7\n" + big.name + "\ny\n42\n");
      bool running = stop_mid_pass(program, big.size());
      if (running) kill(program.pid(), c.signal);
      kill(program.pid(), SIGCONT);
      int status = program.finish();
      if (!held || !running) big.write();
      if (!running) continue;
      EXPECT_EQ(status, held ? 128 + c.signal : 0) << c.signal;
      EXPECT_TRUE(program.output.ends_with(held ? INTERRUPTED : CRYPTED + CONTINUE + "\n"))
          << c.signal;
      EXPECT_TRUE(!held || big.holds(big.size())) << c.signal;
      break;
    }
    EXPECT_LE(attempt, 3) << "the pass was never caught midway";
  }
  // Outside the pass a signal ends the program as it always does.
  RunningProgram waiting(folder.path());
  ASSERT_TRUE(waiting.wait_for(MENU_TEXT));
  kill(waiting.pid(), SIGINT);
  EXPECT_EQ(waiting.finish(), 128 + SIGINT);
}

// Until success is told, a signal puts the file back, the last sync's time
// included; after it, the program ends as the signal asks.
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
  write_file("f.bin", "abc");
  RunningProgram program(folder.path());
  program.type("7\nf.bin\ny\n42\n");
  ASSERT_TRUE(program.wait_for(CRYPTED + CONTINUE));
  kill(program.pid(), SIGTERM);
  EXPECT_EQ(program.finish(), 128 + SIGTERM);
  EXPECT_EQ(read_file("f.bin"), enciphered("abc", 42));
}

// Another program acts on the file while the pass is held still. With a lease
// (nobody else has the file open), the kernel holds that program off until the
// file is put back; without one (the test keeps it open), only what the pass
// wrote and still finds there is put back.
TEST_F(Faults, AnotherProgramDuringThePassIsHeldOffOrLeftAlone) {
  BigFile big;
  // Names of this run's own: the folder may be shared with other users' runs.
  const std::string file = big.path(), old = file + ".old", renamed = file + ".new";
  const std::string wanted = "Un autre programme a demandE le fichier : le fichier a EtE remis "
                             "dans son Etat d'origine\n";
  struct Case {
    bool lease;
    /// The other program must wait for the put back.
    bool waits;
    std::function<void()> act;
    std::string said;
    /// The file afterwards: the first `plain` bytes of the original, then `tail`.
    std::int64_t plain;
    std::string tail;
  };
  const auto rewrite = [&] { std::ofstream(file) << "NEW\n"; };
  const auto add = [&] { std::ofstream(file, std::ios::app) << "TAIL\n"; };
  const Case cases[] = {
      {true, true, rewrite, wanted, 0, "NEW\n"},
      {false, false, rewrite,
       "Le fichier a EtE raccourci par un autre programme : les octets 0 A 3 ont EtE changEs par "
       "un autre programme et laissEs tels quels ; le reste est dans son Etat d'origine\n",
       0, "NEW\n"},
      // Between its look at the size and its write too (the fake cuts there).
      {true, true, [&] { truncate(file.c_str(), 100000); }, wanted, 100000, ""},
      {true, true, add, wanted, big.size(), "TAIL\n"},
      {false, false, add,
       "Le fichier a EtE allongE par un autre programme : le fichier a EtE remis dans son Etat "
       "d'origine\n", big.size(), "TAIL\n"},
      // As an editor saves, renaming a new file over the name: the old one is
      // put back.
      {true, false, [&] { std::filesystem::rename(renamed, file); },
       "Le fichier a EtE remplacE ou supprimE par un autre programme : le fichier a EtE remis "
       "dans son Etat d'origine\n", 0, "NEW\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.said);
    int attempt = 1;
    for (; attempt <= 3; ++attempt) {
      big.write();
      write_file(renamed, "NEW\n");
      std::filesystem::remove(old);
      std::filesystem::create_hard_link(file, old);
      RunningProgram program(big.folder);
      program.type("7\n" + big.name + "\ny\n");
      ASSERT_TRUE(program.wait_for(KEY_PROMPT));
      std::ifstream open_here;
      if (!c.lease) open_here.open(file);
      program.type("42\n");
      if (!stop_mid_pass(program, big.size())) {
        kill(program.pid(), SIGCONT);
        continue;
      }
      EXPECT_EQ(lease_of(program.pid()), c.lease ? "ACTIVE" : "");
      pid_t other = another_program(c.act);
      bool ended = false;
      poll_until([&] { return (ended = waitpid(other, nullptr, WNOHANG) == other) ||
                              lease_of(program.pid()) == "BREAKING"; });
      // Waiting, with the file still whole.
      EXPECT_EQ(!ended, c.waits);
      EXPECT_EQ(std::filesystem::file_size(file) == std::uintmax_t(big.size()), c.waits);
      kill(program.pid(), SIGCONT);
      EXPECT_EQ(program.finish(), 0);
      if (!ended) waitpid(other, nullptr, 0);
      EXPECT_TRUE(program.output.ends_with(c.said + CONTINUE + "\n")) << program.output;
      EXPECT_TRUE(big.holds(c.plain, c.tail));
      // The file opened, under its old name: renamed over, it was put back.
      bool replaced = c.lease && !c.waits;
      EXPECT_TRUE(big.holds(replaced ? big.size() : c.plain, replaced ? "" : c.tail, old));
      break;
    }
    EXPECT_LE(attempt, 3) << "the pass was never caught midway";
  }
  std::filesystem::remove(old);
  std::filesystem::remove(renamed);
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
  // Saved anew while the key is asked, as an editor saves: neither file is
  // changed.
  RunningProgram third(folder.path());
  third.type("7\nf.bin\ny\n");
  ASSERT_TRUE(third.wait_for(KEY_PROMPT));
  std::filesystem::create_hard_link("f.bin", "old");
  write_file("new", "NEW\n");
  std::filesystem::rename("new", "f.bin");
  third.type("42\nn\n");
  EXPECT_EQ(third.finish(), 0);
  EXPECT_TRUE(third.output.ends_with("Le fichier a EtE remplacE ou supprimE par un autre "
                                     "programme : il n'a pas EtE modifiE\n" + CONTINUE));
  EXPECT_EQ(read_file("f.bin"), "NEW\n");
  EXPECT_EQ(read_file("old"), bytes + "plus");
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
  program.type("1\nf.txt\n" + lines + "fin\nn\n");
  EXPECT_EQ(program.finish(), 0);
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
    EXPECT_EQ(program.finish(), 0) << c.change;
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
  EXPECT_EQ(program.finish(), 0);
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
  // Lines read together are written together, yet a waiting program has them
  // all in the file, and a reader that goes away then loses none of them.
  std::string lines;
  for (int i = 0; i < 2000; ++i) lines += "ligne " + std::to_string(i) + "\n";
  RunningProgram batched(folder.path());
  batched.type("1\ng.txt\n" + lines);
  // The menu's and the name's prompts, then one a line and the one that waits.
  poll_until([&] {
    batched.read_output();
    return std::count(batched.output.begin(), batched.output.end(), ':') >= 2 + 2001;
  });
  EXPECT_TRUE(read_file("g.txt") == lines);
  batched.close_output();
  batched.type("encore\nfin\nn\n");
  EXPECT_EQ(batched.finish(), 128 + SIGPIPE);
  EXPECT_TRUE(read_file("g.txt") == lines + "encore\n");
}

TEST_F(Faults, FifoSwappedInBeforeTheOpenIsNeverOpened) {
  if (!can_inject_faults()) GTEST_SKIP() << "no fault injection in this build";
  // Just before the program opens the file it checked, a FIFO takes its name.
  // What was checked is what is opened; the FIFO is not touched.
  struct Case {
    std::string input;
    std::string shown;
    std::string file;
  };
  const Case cases[] = {
      {"5\nf.bin\nn\n", byte_view(1, 16, "41 ") + CONTINUE, "A"},
      {"3\nf.bin\nn\n", NAME_PROMPT + TEXT_HEADING + "A" + CONTINUE, "A"},
      {"1\nf.bin\nun\nfin\nn\n", NAME_PROMPT + CREATE_HEADING + LINE_PROMPT + LINE_PROMPT + CONTINUE,
       "un\n"},
  };
  for (const Case& c : cases) {
    write_file("f.bin", "A");
    std::filesystem::create_hard_link("f.bin", "checked");
    ASSERT_EQ(mkfifo("fifo", 0600), 0);
    int watch = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(inotify_add_watch(watch, "fifo", IN_OPEN), 0);
    RunningProgram program(folder.path(),
                           {.environment = {fault_preload(), "OCTETS_SWAP_AT_OPEN=fifo:f.bin"}});
    program.type(c.input);
    EXPECT_EQ(program.finish(), 0) << c.input;
    EXPECT_TRUE(program.output.ends_with(c.shown)) << c.input << program.output;
    char event[sizeof(inotify_event) + 256];
    EXPECT_LT(read(watch, event, sizeof event), 0) << c.input << ": the FIFO was opened";
    close(watch);
    struct stat info;
    EXPECT_TRUE(stat("f.bin", &info) == 0 && S_ISFIFO(info.st_mode)) << "no swap";
    EXPECT_EQ(read_file("checked"), c.file) << c.input;
    std::filesystem::remove("f.bin");
    std::filesystem::remove("checked");
  }
}

TEST_F(Faults, TextViewReadsToTheEndUnlessItIsTheOutputItself) {
  // A pseudo-file measures nothing and shows its content.
  ProgramRun run = run_program("3\n/proc/self/status\nn\n");
  EXPECT_NE(run.output.find("\nState:"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("grandi"), std::string::npos);
  // The file standard output writes to: only what it held at the opening.
  run = run_program("3\nout.bin\nn\n");
  EXPECT_NE(run.output.find(TEXT_HEADING + MENU_TEXT + "\nLe fichier a grandi "
                            "pendant l'affichage : seul ce qu'il contenait A l'ouverture est "
                            "affichE\n" + CONTINUE),
            std::string::npos) << run.output;
}

TEST_F(Faults, OutOfMemoryAtStartIsReported) {
  // The sanitizers' runtime reserves more address space than any limit here.
  if (!can_inject_faults()) GTEST_SKIP() << "not in a sanitizer build";
  // From a limit where the C library itself cannot start to one where the
  // whole dialogue runs: in between, memory runs out in the program's own
  // start-up, which must be told as any other shortage.
  int told = 0, ran = 0;
  for (rlim_t limit = 1024 * 1024; limit <= 4 * 1024 * 1024; limit += 16 * 1024) {
    RunningProgram program(folder.path(), {.environment = {}, .memory_limit = limit});
    // No input: the menu, then the end of input.
    int status = program.finish();
    if (status == 0 && program.output == MENU_TEXT + "\n") {
      ++ran;
    } else if (status == 1 && program.errors == "octets : MEmoire insuffisante\n") {
      ++told;
    } else {
      // Only the C library's own start-up may fail otherwise, before the
      // program writes anything.
      EXPECT_TRUE(program.output.empty() && status != 128 + SIGABRT)
          << limit << ": " << status << " " << program.errors;
    }
  }
  EXPECT_GT(told, 0);
  EXPECT_GT(ran, 0);
}

}  // namespace
}  // namespace octets::test
