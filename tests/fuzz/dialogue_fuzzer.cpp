// Runs the whole dialogue on the fuzzer's bytes, in a private folder holding a
// few files, and checks after every run that no file was left open and that
// nothing outside the folder was touched.
//
// The first byte says how the input is handed over: a digit from 1 to 9 gives
// pieces of that many bytes, anything else gives it all at once. The rest is
// what is typed.
//
// Every file name is a piece of the input, cut at a zero byte at most, so an
// input without '/' can only name entries of the current folder: such inputs
// are the only ones run. ".." and "." name folders, which are never opened.
// The folder's parent holds a sentinel file that is compared after each run, as
// a second line of defence.

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <string>

#include "console/menu.h"
#include "files/current_file.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

const std::map<std::string, std::string> SEED_FILES = {
    {"texte.txt", "Bonjour\nune ligne\r\n\x1A fin\n"},
    {"octets.bin", std::string("\x00\x0A\x0D\x1A\xFF", 5)},
    {"vide", ""},
};
const char* const SEED_FOLDER = "dossier";
const std::string SENTINEL = "must stay as it is\n";

fs::path root;

void fail(const char* what) {
  std::fprintf(stderr, "dialogue_fuzzer: %s\n", what);
  std::abort();
}

int open_descriptors() {
  DIR* folder = opendir("/proc/self/fd");
  if (folder == nullptr) fail("cannot list /proc/self/fd");
  int count = 0;
  while (readdir(folder) != nullptr) ++count;
  closedir(folder);
  return count;
}

/// Puts the folder back as it was before the run: seed files rewritten, any
/// other file removed. A run can only make regular files, and only here.
void reset_folder() {
  for (const auto& entry : fs::directory_iterator(".")) {
    std::string name = entry.path().filename().string();
    if (name == SEED_FOLDER) {
      if (!entry.is_directory() || !fs::is_empty(entry.path())) fail("the folder was changed");
    } else if (SEED_FILES.count(name) == 0) {
      if (!entry.is_regular_file()) fail("something other than a file was made");
      fs::remove(entry.path());
    }
  }
  for (const auto& [name, bytes] : SEED_FILES) octets::test::write_file(name, bytes);
}

void check_outside_untouched() {
  auto entries = std::distance(fs::directory_iterator(root), fs::directory_iterator());
  if (entries != 2 || octets::test::read_file(root / "sentinel") != SENTINEL) {
    fail("a path outside the folder was touched");
  }
}

void remove_root() {
  std::error_code ignored;
  fs::current_path(fs::temp_directory_path(), ignored);
  fs::remove_all(root, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (fs::temp_directory_path() / "octets-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) fail("no temporary folder");
  root = pattern;
  std::atexit(remove_root);
  octets::test::write_file(root / "sentinel", SENTINEL);
  fs::create_directory(root / "work");
  fs::create_directory(root / "work" / SEED_FOLDER);
  fs::current_path(root / "work");
  reset_folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return -1;
  if (std::memchr(data, '/', size) != nullptr) return -1;
  std::size_t piece = data[0] >= '1' && data[0] <= '9' ? data[0] - '0' : size;
  int descriptors = open_descriptors();
  {
    octets::test::ScriptedConsole scripted(
        std::string(reinterpret_cast<const char*>(data) + 1, size - 1), piece);
    int status = octets::run_menu(scripted.console);
    if (status != 0) fail("the dialogue ended with a failure on a string stream");
  }
  if (octets::current_file.stream != nullptr) fail("a file was left open");
  if (open_descriptors() != descriptors) fail("a file descriptor was left open");
  check_outside_untouched();
  reset_folder();
  return 0;
}
