#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <string_view>

#include "console/console.h"

namespace octets::test {

/// Input from a string, handed over in pieces of at most `piece` bytes.
class StringSource : public ByteSource {
 public:
  explicit StringSource(std::string input,
                        std::size_t piece = std::numeric_limits<std::size_t>::max())
      : input_(std::move(input)), piece_(piece) {}
  std::size_t read_some(char* buffer, std::size_t capacity) override;
  /// How many reads found the input ended.
  int reads_at_end() const { return reads_at_end_; }

 private:
  std::string input_;
  std::size_t piece_;
  std::size_t position_ = 0;
  int reads_at_end_ = 0;
};

/// Writes "<clear>" into the transcript, so that the order of events shows, and
/// says that standard output is whatever the test chooses, `columns` wide, in
/// colour or not. What it is given to draw by itself shows between "<console>"
/// and "</console>".
class FakeTerminal : public Terminal {
 public:
  void clear_screen(std::ostream& out) override { out << "<clear>"; }
  Screen screen() override { return screen_kind; }
  bool shows_colours() override { return colours; }
  int width() override { return columns; }
  int line_width() override { return screen_kind == Screen::none ? 0 : line_columns; }
  bool input_echoed() override { return echoed; }
  void write_symbols(std::ostream& out, std::string_view utf8) override {
    out << "<console>" << utf8 << "</console>";
  }
  int page_rows() override { return rows; }
  void guard_colour(bool on) override { colour_guarded = on; }
  /// Where a byte view has measured its file and is about to read it.
  void expect_long_output() override {
    if (on_long_output) on_long_output();
  }
  Screen screen_kind = Screen::none;
  bool colours = false;
  int columns = 0;
  /// What the progress line may take.
  int line_columns = 80;
  /// Whether the answers are typed at the terminal, which ends their rows.
  bool echoed = true;
  /// A screenful's rows; 0 for a view that never waits.
  int rows = 0;
  bool colour_guarded = false;
  std::function<void()> on_long_output;
};

struct ScriptedConsole {
  explicit ScriptedConsole(std::string input,
                           std::size_t piece = std::numeric_limits<std::size_t>::max())
      : source(std::move(input), piece), console(source, out, terminal) {}
  std::string transcript() {
    console.flush();
    return out.str();
  }

  StringSource source;
  std::ostringstream out;
  FakeTerminal terminal;
  Console console;
};

struct Session {
  std::string transcript;
  int status;
};

Session run_session(const std::string& input);

/// Runs the whole dialogue in a child process whose files may not grow past
/// `limit` bytes, so that writes really fail there; the input is handed over in
/// pieces of at most `piece` bytes.
Session run_session_with_file_limit(const std::string& input, long limit,
                                    std::size_t piece = std::numeric_limits<std::size_t>::max());

/// A file of a dialogue case under tests/dialogues: case_file("help-page",
/// "output"). Empty when there is no such file.
std::string case_file(const std::string& name, const std::string& file);
/// `text` less `before` at its start and `after` at its end, where it has them.
std::string between(const std::string& text, const std::string& before, const std::string& after);
/// What a case's one operation shows: its output less the menu before it, the
/// continue question after it and the line end of an input that ends there.
std::string shown_by(const std::string& name);

// Texts of the dialogue, taken from the cases that show them. Inline, so that
// constants built from them, here and in a test file, see them ready.
/// The menu's text, waiting for a choice: all a dialogue whose input is empty
/// shows, but the line end it ends on.
inline const std::string MENU_TEXT = between(case_file("end-of-input-at-menu", "output"), "", "\n");
/// The menu as shown on a cleared screen.
inline const std::string MENU = "<clear>" + MENU_TEXT;
/// The line of 28 stars around every view.
inline const std::string SEPARATOR = "****************************\n";
/// What follows every operation: the separator line and the continue question.
inline const std::string CONTINUE =
    between(case_file("choice-zero-runs-nothing", "output"), MENU_TEXT, "");
/// The help page, byte for byte.
inline const std::string HELP = shown_by("help-page");
inline const std::string NAME_PROMPT = shown_by("write-end-of-input-at-name-creates-nothing");
/// What the line writer writes after the name prompt when it creates, then the
/// prompt for each line.
inline const std::string LINE_PROMPT =
    between(shown_by("write-end-of-input-after-a-line"),
            shown_by("write-fin-first-leaves-file-empty"), "");
inline const std::string CREATE_HEADING =
    between(shown_by("write-fin-first-leaves-file-empty"), NAME_PROMPT, LINE_PROMPT);
/// What the text view writes after the name prompt, before the text.
inline const std::string TEXT_HEADING =
    between(shown_by("text-view-zero-byte-hides-rest-of-its-piece"), NAME_PROMPT, "abCDnext\n");
/// What the encipherer writes after the name prompt, up to the confirmation.
inline std::string crypt_asked(std::size_t size) {
  static const std::string asked =
      between(shown_by("encipher-refuses-confirmation-o"), NAME_PROMPT + " = 7", "");
  return " = " + std::to_string(size) + asked;
}
inline const std::string KEY_PROMPT =
    between(shown_by("encipher-refuses-key-0"), NAME_PROMPT + crypt_asked(7), "");
inline const std::string CRYPTED = between(shown_by("encipher-key-with-plus-sign"),
                                           NAME_PROMPT + crypt_asked(3) + KEY_PROMPT, "");
/// What a byte view writes after the name prompt: the size, the heading naming
/// the base, the separator line and the byte values on one line.
inline std::string byte_view(std::size_t size, int base, const std::string& values) {
  static const std::string heading = between(shown_by("byte-view-of-an-empty-file"),
                                             NAME_PROMPT + " = 0", "10\n" + SEPARATOR + "\n");
  return NAME_PROMPT + " = " + std::to_string(size) + heading + std::to_string(base) + "\n" +
         SEPARATOR + values + "\n";
}
/// The bytes' values as the hexadecimal view writes them, worked out here.
inline std::string hexadecimal_values(const std::string& bytes) {
  std::string values;
  char value[4];
  for (unsigned char byte : bytes) values.append(value, std::snprintf(value, 4, "%02X ", byte));
  return values;
}

/// A fresh folder made the current one for the length of a test; the previous
/// current folder comes back and the folder is removed afterwards.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

std::string read_file(const std::filesystem::path& path);
/// Files by their path under a folder, with "/" between names; folders show
/// only through the files they hold.
using Files = std::map<std::string, std::string>;
Files files_in(const std::filesystem::path& folder);
/// Writes the files under `folder`, making the folders their paths name.
void lay_files(const std::filesystem::path& folder, const Files& files);
void write_file(const std::filesystem::path& path, const std::string& bytes);
std::string all_byte_values();
/// `size` bytes from a fixed pseudo-random sequence.
std::string pseudo_random_bytes(std::size_t size, unsigned seed);
std::string enciphered(std::string bytes, unsigned char key);

}  // namespace octets::test
