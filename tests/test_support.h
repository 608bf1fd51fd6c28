#pragma once

#include <cstddef>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>

#include "console/console.h"

namespace octets::testing {

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

/// Writes "<clear>" into the transcript, so that the order of events shows.
class FakeTerminal : public Terminal {
 public:
  void clear_screen(std::ostream& out) override { out << "<clear>"; }
};

/// A console over a string, with its transcript.
struct ScriptedConsole {
  explicit ScriptedConsole(std::string input,
                           std::size_t piece = std::numeric_limits<std::size_t>::max())
      : source(std::move(input), piece), console(source, out, terminal) {}
  std::string transcript() const { return out.str(); }

  StringSource source;
  std::ostringstream out;
  FakeTerminal terminal;
  Console console;
};

struct Session {
  std::string transcript;
  int status;
};

/// Runs the whole program's dialogue on the given input.
Session run_session(const std::string& input);

/// Runs the whole dialogue in a child process whose files may not grow past
/// `limit` bytes, so that writes really fail there.
Session run_session_with_file_limit(const std::string& input, long limit);

/// The menu as shown on a cleared screen, waiting for a choice.
extern const std::string MENU;
/// What follows every operation: the separator line and the continue question.
extern const std::string CONTINUE;

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
void write_file(const std::filesystem::path& path, const std::string& bytes);
/// Every byte value from 0 to 255, in order.
std::string all_byte_values();
/// `size` bytes from a fixed pseudo-random sequence.
std::string pseudo_random_bytes(std::size_t size, unsigned seed);

}  // namespace octets::testing
