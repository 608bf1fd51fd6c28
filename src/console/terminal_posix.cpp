#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <streambuf>

#include "console/terminal.h"

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
  bool ready() override {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    return ::poll(&input, 1, 0) > 0;
  }
  bool failed() const override { return failed_; }

 private:
  bool failed_ = false;
};

class DescriptorSink : public std::streambuf {
 protected:
  std::streamsize xsputn(const char* bytes, std::streamsize count) override {
    std::streamsize done = 0;
    while (done < count) {
      ssize_t n = ::write(STDOUT_FILENO, bytes + done, static_cast<std::size_t>(count - done));
      if (n > 0) {
        done += n;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        // A non-blocking output that is full for now (a pipe whose reader is
        // late, a terminal another program left so): wait for room rather
        // than take it for a lost output.
        pollfd output{STDOUT_FILENO, POLLOUT, 0};
        if (::poll(&output, 1, -1) >= 0 || errno == EINTR) continue;
      }
      break;
    }
    return done;
  }

  int_type overflow(int_type byte) override {
    if (traits_type::eq_int_type(byte, traits_type::eof())) return traits_type::not_eof(byte);
    char one = traits_type::to_char_type(byte);
    return xsputn(&one, 1) == 1 ? byte : traits_type::eof();
  }
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

/// False for a terminal that takes plain text only: TERM says "dumb", or names
/// no terminal at all.
bool takes_control_sequences() {
  const char* name = std::getenv("TERM");
  return name != nullptr && *name != '\0' && std::strcmp(name, "dumb") != 0;
}

/// The signals from outside that end the program by default.
constexpr int ENDING_SIGNALS[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM,   SIGALRM,
                                  SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF};

void give_colour_back(int signal) {
  // Async-signal-safe; SA_RESETHAND has put back the default action.
  ssize_t ignored = ::write(STDOUT_FILENO, "\x1b[39m", 5);
  (void)ignored;
  ::raise(signal);
}

}  // namespace

bool colours_wanted() {
  const char* no_colour = std::getenv("NO_COLOR");
  return (no_colour == nullptr || *no_colour == '\0') && takes_control_sequences();
}

namespace {

class PosixTerminal : public Terminal {
 public:
  Screen screen() override {
    static const Screen kind = !::isatty(STDOUT_FILENO) ? Screen::none
                               : locale_is_utf8()       ? Screen::utf8_terminal
                                                        : Screen::other_terminal;
    return kind;
  }

  bool shows_colours() override {
    static const bool colours = ::isatty(STDOUT_FILENO) && colours_wanted();
    return colours;
  }

  void clear_screen(std::ostream& out) override {
    // A pipe or a file gets only the dialogue, and so does a terminal that
    // would show the sequence instead of obeying it.
    if (!::isatty(STDOUT_FILENO) || !takes_control_sequences()) return;
    // Cursor home and clear the screen, but not the scrollback (ESC[3J): a
    // learner scrolls back from one view to the last. tmux, among others, moves
    // the cleared rows into the history.
    out << "\x1b[H\x1b[2J";
    out.flush();
  }

  int width() override {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
  }

  int line_width() override {
    if (!::isatty(STDOUT_FILENO) || !takes_control_sequences()) return 0;
    // Asked each time: the window may have been resized since.
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
  }

  int page_rows() override {
    winsize size{};
    if (!::isatty(STDIN_FILENO) || line_width() == 0) return 0;
    return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 ? size.ws_row : 24;
  }

  void guard_colour(bool on) override {
    for (int signal : ENDING_SIGNALS) {
      struct sigaction action {};
      // Nothing else handles these: a signal ignored since the start stays so.
      if (::sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) continue;
      action.sa_handler = on ? give_colour_back : SIG_DFL;
      action.sa_flags = SA_RESETHAND;
      ::sigaction(signal, &action, nullptr);
    }
  }

  bool input_echoed() override {
    termios settings{};
    return ::tcgetattr(STDIN_FILENO, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
  }

  void expect_long_output() override {
#if defined(F_SETPIPE_SZ)
    // 1 MiB is the most an unprivileged program may ask for by default.
    constexpr int OUTPUT_PIPE_SIZE = 1024 * 1024;
    struct stat info;
    if (::fstat(STDOUT_FILENO, &info) != 0 || !S_ISFIFO(info.st_mode)) return;
    if (::fcntl(STDOUT_FILENO, F_GETPIPE_SZ) >= OUTPUT_PIPE_SIZE) return;
    ::fcntl(STDOUT_FILENO, F_SETPIPE_SZ, OUTPUT_PIPE_SIZE);
#endif
  }
};

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

ByteSource& standard_input() {
  static DescriptorSource source;
  return source;
}

std::ostream& standard_output() {
  static DescriptorSink sink;
  static std::ostream output(&sink);
  return output;
}

Terminal& standard_terminal() {
  static PosixTerminal terminal;
  return terminal;
}

}  // namespace octets
