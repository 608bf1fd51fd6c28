#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ostream>

#include "console/platform.h"

namespace octets {
namespace {

class DescriptorSource : public ByteSource {
 public:
  std::size_t read_some(char* buffer, std::size_t capacity) override {
    for (;;) {
      ssize_t n = ::read(STDIN_FILENO, buffer, capacity);
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        // A non-blocking input has nothing yet: wait for it rather than take
        // the lack of input for its end.
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (::poll(&input, 1, -1) >= 0 || errno == EINTR) continue;
      }
      failed_ = true;
      return 0;
    }
  }
  bool failed() const override { return failed_; }

 private:
  bool failed_ = false;
};

/// Whether the user's locale reads text as UTF-8, as the C library tells it
/// from LC_ALL, LC_CTYPE and LANG; the program itself stays in the C locale. A
/// locale that is not installed is judged by its name: the first of those
/// variables that is set.
bool locale_is_utf8() {
  // Taken and given back with nothing in between, so that number reading, the
  // answer rule and the texts keep the C locale's rules. (glibc's newlocale
  // would leave the global locale alone, but loses memory when LOCPATH is set.)
  if (std::setlocale(LC_CTYPE, "") != nullptr) {
    bool utf8 = std::strcmp(::nl_langinfo(CODESET), "UTF-8") == 0;
    std::setlocale(LC_CTYPE, "C");
    return utf8;
  }
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* name = std::getenv(variable);
    if (name == nullptr || *name == '\0') continue;
    return ::strcasestr(name, "UTF-8") != nullptr || ::strcasestr(name, "UTF8") != nullptr;
  }
  return false;
}

class PosixTerminal : public Terminal {
 public:
  Screen screen() override {
    static const Screen kind = !::isatty(STDOUT_FILENO) ? Screen::none
                               : locale_is_utf8()       ? Screen::utf8_terminal
                                                        : Screen::other_terminal;
    return kind;
  }

  void clear_screen(std::ostream& out) override {
    // A pipe or a file gets only the dialogue.
    if (!::isatty(STDOUT_FILENO)) return;
    // Cursor home, clear the screen, clear the scrollback.
    out << "\x1b[H\x1b[2J\x1b[3J";
    out.flush();
  }
};

int descriptor(std::FILE* file) { return ::fileno(file); }

constexpr int INTERRUPTIONS[] = {SIGINT, SIGTERM, SIGHUP};
volatile std::sig_atomic_t received_signal = 0;
struct sigaction previous_actions[3];

extern "C" void record_interruption(int signal) {
  if (received_signal == 0) received_signal = signal;
}

}  // namespace

bool prepare_process() {
  bool output_open = true;
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == STDOUT_FILENO) output_open = false;
    // The lowest free number is the one just found closed.
    ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
  }
  // Past a file size limit, a write fails with EFBIG and is reported like any
  // failed write, instead of the signal ending the program in mid-file.
  std::signal(SIGXFSZ, SIG_IGN);
  return output_open;
}

void end_by_signal(int signal) {
  std::signal(signal, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(signal);
  // Only a signal that cannot end the process comes back here.
  ::_exit(128 + signal);
}

ByteSource& standard_input() {
  static DescriptorSource source;
  return source;
}

Terminal& standard_terminal() {
  static PosixTerminal terminal;
  return terminal;
}

std::FILE* open_regular_file(const char* name, const char* mode) {
  // Opening a FIFO or a device may act on it (a FIFO's reader sees its end, a
  // tape rewinds): anything that exists and is not a regular file is refused
  // before it is opened.
  struct stat info;
  if (::stat(name, &info) == 0 && !S_ISREG(info.st_mode)) return nullptr;
  int flags = 0;
  bool truncate = false;
  if (std::strcmp(mode, "w") == 0) {
    // Truncated only once it is known to be a regular file.
    flags = O_WRONLY | O_CREAT;
    truncate = true;
  } else if (std::strcmp(mode, "a") == 0) {
    flags = O_WRONLY | O_CREAT | O_APPEND;
  } else if (std::strcmp(mode, "r+b") == 0) {
    flags = O_RDWR;
  } else {
    flags = O_RDONLY;
  }
  // Non-blocking so that a FIFO put in the file's place since does not wait.
  int fd = ::open(name, flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return nullptr;
  bool usable = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                ::fcntl(fd, F_SETFL, flags & O_APPEND) == 0 &&
                (!truncate || ::ftruncate(fd, 0) == 0);
  std::FILE* file = usable ? ::fdopen(fd, mode) : nullptr;
  if (file == nullptr) ::close(fd);
  return file;
}

bool seek_file(std::FILE* file, std::int64_t offset) {
  return ::fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

std::int64_t measure_open_file(std::FILE* file) {
  if (::fseeko(file, 0, SEEK_END) != 0) return -1;
  return static_cast<std::int64_t>(::ftello(file));
}

std::int64_t current_size(std::FILE* file) {
  struct stat info;
  if (::fstat(descriptor(file), &info) != 0) return -1;
  return static_cast<std::int64_t>(info.st_size);
}

std::int64_t read_at(std::FILE* file, std::int64_t offset, unsigned char* bytes,
                     std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = ::pread(descriptor(file), bytes + done, count - done,
                        static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

std::size_t write_at(std::FILE* file, std::int64_t offset, const unsigned char* bytes,
                     std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = ::pwrite(descriptor(file), bytes + done, count - done,
                         static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool sync_file(std::FILE* file) {
  for (;;) {
    if (::fdatasync(descriptor(file)) == 0) return true;
    if (errno == EINTR) continue;
    // A file system that cannot sync at all has nothing more to do: the data
    // is as safe there as it will ever be, which is no failure of this write.
    return errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP;
  }
}

bool truncate_file(std::FILE* file, std::int64_t size) {
  return ::ftruncate(descriptor(file), static_cast<off_t>(size)) == 0;
}

bool lock_file(std::FILE* file) {
  for (;;) {
    if (::flock(descriptor(file), LOCK_EX | LOCK_NB) == 0) return true;
    if (errno == EINTR) continue;
    return errno != EWOULDBLOCK;
  }
}

InterruptionShield::InterruptionShield() {
  received_signal = 0;
  struct sigaction record {};
  record.sa_handler = record_interruption;
  sigemptyset(&record.sa_mask);
  record.sa_flags = SA_RESTART;
  for (int i = 0; i < 3; ++i) {
    ::sigaction(INTERRUPTIONS[i], nullptr, &previous_actions[i]);
    // A signal ignored by whoever started the program (a background job, nohup)
    // stays ignored.
    if (previous_actions[i].sa_handler == SIG_IGN) continue;
    ::sigaction(INTERRUPTIONS[i], &record, nullptr);
  }
}

InterruptionShield::~InterruptionShield() {
  for (int i = 0; i < 3; ++i) ::sigaction(INTERRUPTIONS[i], &previous_actions[i], nullptr);
}

int InterruptionShield::received() const { return received_signal; }

void enlarge_output_pipe() {
#if defined(F_SETPIPE_SZ)
  // 1 MiB is the most an unprivileged program may ask for by default.
  constexpr int OUTPUT_PIPE_SIZE = 1024 * 1024;
  struct stat info;
  if (::fstat(STDOUT_FILENO, &info) != 0 || !S_ISFIFO(info.st_mode)) return;
  if (::fcntl(STDOUT_FILENO, F_GETPIPE_SZ) >= OUTPUT_PIPE_SIZE) return;
  ::fcntl(STDOUT_FILENO, F_SETPIPE_SZ, OUTPUT_PIPE_SIZE);
#endif
}

}  // namespace octets
