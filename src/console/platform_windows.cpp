#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <csignal>
#include <cstdlib>
#include <ostream>

#include "console/platform.h"

namespace octets {
namespace {

class DescriptorSource : public ByteSource {
 public:
  std::size_t read_some(char* buffer, std::size_t capacity) override {
    // Standard input stays in text mode: CR LF arrives as one line end and
    // Ctrl-Z ends the input, as the platform's console conventions say.
    int n = ::_read(0, buffer, static_cast<unsigned>(capacity));
    if (n < 0) failed_ = true;
    return n > 0 ? static_cast<std::size_t>(n) : 0;
  }
  bool failed() const override { return failed_; }

 private:
  bool failed_ = false;
};

class CommandTerminal : public Terminal {
 public:
  Screen screen() override { return ::_isatty(1) ? Screen::console : Screen::none; }

  void clear_screen(std::ostream&) override {
    // A pipe or a file gets only the dialogue: "cls" would write a form feed
    // into it instead of clearing anything.
    if (!::_isatty(1)) return;
    // The result is ignored: without a command interpreter the output simply
    // goes on below what is already shown.
    int ignored = std::system("cls");
    (void)ignored;
  }
};

HANDLE handle(std::FILE* file) {
  return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
}

constexpr int INTERRUPTIONS[] = {SIGINT, SIGTERM, SIGBREAK};
volatile std::sig_atomic_t received_signal = 0;
void (*previous_handlers[3])(int);

extern "C" void record_interruption(int signal) {
  if (received_signal == 0) received_signal = signal;
  // The runtime resets the handler before calling it.
  std::signal(signal, record_interruption);
}

}  // namespace

bool prepare_process() {
  bool output_open = true;
  for (int fd : {0, 1, 2}) {
    if (::_get_osfhandle(fd) != -1) continue;
    if (fd == 1) output_open = false;
    int null_device = ::_open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
    if (null_device >= 0 && null_device != fd) {
      ::_dup2(null_device, fd);
      ::_close(null_device);
    }
  }
  return output_open;
}

void end_by_signal(int signal) {
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  std::_Exit(128 + signal);
}

ByteSource& standard_input() {
  static DescriptorSource source;
  return source;
}

Terminal& standard_terminal() {
  static CommandTerminal terminal;
  return terminal;
}

std::FILE* open_regular_file(const char* name, const char* mode) {
  // Devices such as CON or NUL open like files; only a real file will do,
  // checked before the open and again after it.
  struct _stat64 info;
  if (::_stat64(name, &info) == 0 && (info.st_mode & _S_IFMT) != _S_IFREG) return nullptr;
  std::FILE* file = std::fopen(name, mode);
  if (file == nullptr) return nullptr;
  if (::_fstat64(::_fileno(file), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

bool seek_file(std::FILE* file, std::int64_t offset) {
  return ::_fseeki64(file, offset, SEEK_SET) == 0;
}

std::int64_t measure_open_file(std::FILE* file) {
  if (::_fseeki64(file, 0, SEEK_END) != 0) return -1;
  return ::_ftelli64(file);
}

std::int64_t current_size(std::FILE* file) {
  struct _stat64 info;
  if (::_fstat64(::_fileno(file), &info) != 0) return -1;
  return info.st_size;
}

std::int64_t read_at(std::FILE* file, std::int64_t offset, unsigned char* bytes,
                     std::size_t count) {
  int fd = ::_fileno(file);
  if (::_lseeki64(fd, offset, SEEK_SET) < 0) return -1;
  std::size_t done = 0;
  while (done < count) {
    int n = ::_read(fd, bytes + done, static_cast<unsigned>(count - done));
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

std::size_t write_at(std::FILE* file, std::int64_t offset, const unsigned char* bytes,
                     std::size_t count) {
  int fd = ::_fileno(file);
  if (::_lseeki64(fd, offset, SEEK_SET) < 0) return 0;
  std::size_t done = 0;
  while (done < count) {
    int n = ::_write(fd, bytes + done, static_cast<unsigned>(count - done));
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool sync_file(std::FILE* file) { return ::_commit(::_fileno(file)) == 0; }

bool truncate_file(std::FILE* file, std::int64_t size) {
  return ::_chsize_s(::_fileno(file), size) == 0;
}

bool lock_file(std::FILE* file) {
  OVERLAPPED whole{};
  if (::LockFileEx(handle(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                   MAXDWORD, MAXDWORD, &whole)) {
    return true;
  }
  return ::GetLastError() != ERROR_LOCK_VIOLATION;
}

InterruptionShield::InterruptionShield() {
  received_signal = 0;
  for (int i = 0; i < 3; ++i) {
    previous_handlers[i] = std::signal(INTERRUPTIONS[i], record_interruption);
    // An interruption that was ignored stays ignored.
    if (previous_handlers[i] == SIG_IGN) std::signal(INTERRUPTIONS[i], SIG_IGN);
  }
}

InterruptionShield::~InterruptionShield() {
  for (int i = 0; i < 3; ++i) std::signal(INTERRUPTIONS[i], previous_handlers[i]);
}

int InterruptionShield::received() const { return received_signal; }

void enlarge_output_pipe() {}

}  // namespace octets
