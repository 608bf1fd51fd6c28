#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <iostream>
#include <cstring>
#include <ostream>
#include <string>

#include "console/terminal.h"

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
  bool ready() override {
    // A file on disk never makes a read wait. A console or a pipe may, and is
    // taken to: a text-mode read that ends on a carriage return looks ahead.
    return ::GetFileType(reinterpret_cast<HANDLE>(::_get_osfhandle(0))) == FILE_TYPE_DISK;
  }
  bool failed() const override { return failed_; }

 private:
  bool failed_ = false;
};

/// Writes UTF-8 text to the console as its characters; false when it refused.
bool write_characters(HANDLE console, std::string_view utf8) {
  if (utf8.empty()) return true;
  const int size = static_cast<int>(utf8.size());
  int count = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(count), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), count);
  // Older consoles refuse a single write much larger than this.
  constexpr std::size_t PIECE = 8192;
  for (std::size_t done = 0; done < wide.size();) {
    DWORD written = 0;
    DWORD piece = static_cast<DWORD>(std::min(PIECE, wide.size() - done));
    if (!::WriteConsoleW(console, wide.data() + done, piece, &written, nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

/// The console's text attributes for a colour change's number (see
/// Terminal::shows_colours), on the background the console had at first.
WORD attributes_for(int number) {
  static const WORD usual = [] {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
      return static_cast<WORD>(FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE);
    }
    return info.wAttributes;
  }();
  const bool bright = number >= 90 && number <= 97;
  const int colour = number - (bright ? 90 : 30);
  if (colour < 0 || colour > 7) return usual;
  // The palette's bits are red, green, blue; the console's blue, green, red.
  WORD foreground = (colour & 1 ? FOREGROUND_RED : 0) | (colour & 2 ? FOREGROUND_GREEN : 0) |
                    (colour & 4 ? FOREGROUND_BLUE : 0) | (bright ? FOREGROUND_INTENSITY : 0);
  return static_cast<WORD>((usual & ~0x0F) | foreground);
}

/// Gives the console its usual colour back at Ctrl-C or Ctrl-Break; the
/// handler after it then ends the program as before.
BOOL WINAPI give_colour_back(DWORD) {
  ::SetConsoleTextAttribute(::GetStdHandle(STD_OUTPUT_HANDLE), attributes_for(39));
  return FALSE;
}

class CommandTerminal : public Terminal {
 public:
  Screen screen() override {
    // Only a console has a mode: the null device passes for a terminal with
    // _isatty, but takes no console output.
    static const Screen kind = [] {
      DWORD mode = 0;
      return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) ? Screen::console
                                                                        : Screen::none;
    }();
    return kind;
  }

  int width() override {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
    // The console wraps at its buffer's width, which may be wider than its window.
    return info.dwSize.X;
  }

  bool shows_colours() override {
    static const bool colours = screen() == Screen::console && colours_wanted();
    return colours;
  }

  void write_symbols(std::ostream& out, std::string_view utf8) override {
    // Characters rather than bytes: the console shows them whatever its code
    // page, and none of them is a control sequence. Colour changes become the
    // console's text attributes for the characters after them.
    HANDLE console = ::GetStdHandle(STD_OUTPUT_HANDLE);
    for (;;) {
      std::size_t change = utf8.find('\x1b');
      if (!write_characters(console, utf8.substr(0, change))) {
        out.setstate(std::ios::badbit);
        return;
      }
      std::size_t end = utf8.find('m', change);
      if (end == std::string_view::npos) return;
      int number = 0;
      std::from_chars(utf8.data() + change + 2, utf8.data() + end, number);
      ::SetConsoleTextAttribute(console, attributes_for(number));
      utf8.remove_prefix(end + 1);
    }
  }

  int line_width() override {
    if (!::_isatty(1)) return 0;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info) && info.dwSize.X > 0) {
      return info.dwSize.X;
    }
    return 80;
  }

  int page_rows() override {
    CONSOLE_SCREEN_BUFFER_INFO info;
    DWORD mode = 0;
    if (!::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) ||
        !::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
      return 0;
    }
    return info.srWindow.Bottom - info.srWindow.Top + 1;
  }

  void erase_row(std::ostream&, bool above) override {
    // The console's own calls: it may take no control sequence.
    HANDLE console = ::GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(console, &info)) return;
    COORD start{0, static_cast<SHORT>(info.dwCursorPosition.Y - (above ? 1 : 0))};
    DWORD width = static_cast<DWORD>(info.dwSize.X), written = 0;
    ::FillConsoleOutputCharacterW(console, L' ', width, start, &written);
    ::SetConsoleCursorPosition(console, start);
  }

  void guard_colour(bool on) override { ::SetConsoleCtrlHandler(give_colour_back, on); }

  bool input_echoed() override {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) &&
           (mode & ENABLE_ECHO_INPUT) != 0;
  }

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

}  // namespace

bool colours_wanted() {
  // A console has no TERM of its own; one set to "dumb" still says no.
  const char* no_colour = std::getenv("NO_COLOR");
  const char* term = std::getenv("TERM");
  return (no_colour == nullptr || *no_colour == '\0') &&
         (term == nullptr || std::strcmp(term, "dumb") != 0);
}

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

ByteSource& standard_input() {
  static DescriptorSource source;
  return source;
}

std::ostream& standard_output() { return std::cout; }

Terminal& standard_terminal() {
  static CommandTerminal terminal;
  return terminal;
}

}  // namespace octets
