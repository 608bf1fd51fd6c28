#include "test_support.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "console/menu.h"
#include "console/terminal.h"
#include "files/current_file.h"

namespace octets::test {

std::size_t StringSource::read_some(char* buffer, std::size_t capacity) {
  std::size_t n = std::min({capacity, piece_, input_.size() - position_});
  if (n == 0) ++reads_at_end_;
  std::memcpy(buffer, input_.data() + position_, n);
  position_ += n;
  return n;
}

Session run_session(const std::string& input) {
  ScriptedConsole scripted(input);
  int status = run_menu(scripted.console);
  return {scripted.transcript(), status};
}

Session run_session_with_file_limit(const std::string& input, long limit, std::size_t piece) {
  std::filesystem::path transcript_path = std::filesystem::current_path() / ".transcript";
  pid_t child = fork();
  if (child == 0) {
    // The process is set up as the program sets itself up, nothing more.
    prepare_process();
    ScriptedConsole scripted(input, piece);
    int status = 99;
    {
      // The limit is raised again before the transcript is saved.
      rlimit small{static_cast<rlim_t>(limit), RLIM_INFINITY};
      setrlimit(RLIMIT_FSIZE, &small);
      status = run_menu(scripted.console);
      rlimit large{RLIM_INFINITY, RLIM_INFINITY};
      setrlimit(RLIMIT_FSIZE, &large);
    }
    write_file(transcript_path, scripted.transcript());
    _exit(status);
  }
  int wait_status = 0;
  waitpid(child, &wait_status, 0);
  Session session{read_file(transcript_path), WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1};
  std::filesystem::remove(transcript_path);
  return session;
}

TemporaryFolder::TemporaryFolder() : previous_(std::filesystem::current_path()) {
  std::random_device entropy;
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = std::filesystem::temp_directory_path() /
                     ("octets-test-" + std::to_string(entropy()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      std::filesystem::current_path(path_);
      // Each test starts with no file open, whatever a failed test left.
      current_file = CurrentFile{};
      return;
    }
  }
  throw std::runtime_error("no temporary folder");
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Files files_in(const std::filesystem::path& folder) {
  Files files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (!entry.is_directory()) {
      files[entry.path().lexically_relative(folder).generic_string()] = read_file(entry.path());
    }
  }
  return files;
}

void lay_files(const std::filesystem::path& folder, const Files& files) {
  for (const auto& [name, bytes] : files) {
    std::filesystem::create_directories((folder / name).parent_path());
    write_file(folder / name, bytes);
  }
}

std::string case_file(const std::string& name, const std::string& file) {
  return read_file(std::filesystem::path(OCTETS_DIALOGUES) / name / file);
}

std::string between(const std::string& text, const std::string& before, const std::string& after) {
  if (!text.starts_with(before) || !text.ends_with(after) ||
      text.size() < before.size() + after.size()) {
    return text;
  }
  return text.substr(before.size(), text.size() - before.size() - after.size());
}

std::string shown_by(const std::string& name) {
  std::string output = case_file(name, "output");
  if (output.ends_with(CONTINUE + "\n")) output.pop_back();
  return between(output, MENU_TEXT, CONTINUE);
}

void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

std::string all_byte_values() {
  std::string bytes(256, '\0');
  for (int i = 0; i < 256; ++i) bytes[i] = static_cast<char>(i);
  return bytes;
}

std::string pseudo_random_bytes(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  return bytes;
}

std::string enciphered(std::string bytes, unsigned char key) {
  for (char& byte : bytes) byte = static_cast<char>(static_cast<unsigned char>(byte) ^ key);
  return bytes;
}

}  // namespace octets::test
