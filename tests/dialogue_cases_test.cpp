// Whole dialogues as data: every case under tests/dialogues (see the README
// there) played in-process through the scripted console, and by the built
// program through a pipe, or by the Windows program under wine (see
// program_run.h). Each case is a test of its own in each way.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "files/current_file.h"
#include "program_run.h"
#include "test_support.h"

namespace octets::test {
namespace {

namespace fs = std::filesystem;

struct Case {
  fs::path folder;
  std::string input;
  std::string output;
  Files before;
  Files after;
  int status = 0;
  std::string errors;
};

std::string file_or(const fs::path& path, const std::string& otherwise) {
  return fs::exists(path) ? read_file(path) : otherwise;
}

Case load(const fs::path& folder) {
  // A misspelt name would leave an expectation unchecked.
  const std::set<std::string> known = {"input",  "output", "before",         "after",
                                       "status", "errors", "output.windows", "after.windows"};
  for (const auto& entry : fs::directory_iterator(folder)) {
    EXPECT_TRUE(known.contains(entry.path().filename().string())) << entry.path();
  }
  Case c;
  c.folder = folder;
  c.input = read_file(folder / "input");
  c.output = read_file(folder / "output");
  if (fs::exists(folder / "before")) c.before = files_in(folder / "before");
  c.after = fs::exists(folder / "after") ? files_in(folder / "after") : c.before;
  c.status = std::stoi(file_or(folder / "status", "0"));
  c.errors = file_or(folder / "errors", "");
  return c;
}

std::vector<fs::path> case_folders() {
  std::vector<fs::path> folders;
  for (const auto& entry : fs::directory_iterator(OCTETS_DIALOGUES)) {
    if (entry.is_directory()) folders.push_back(entry.path());
  }
  std::sort(folders.begin(), folders.end());
  return folders;
}

/// The output with the fake terminal's "<clear>" where the screen is cleared:
/// before each menu, and after each menu whose choice is taken, that is
/// unless the input ends there.
std::string with_clears(const std::string& output) {
  std::string cleared;
  std::size_t from = 0;
  for (std::size_t at; (at = output.find(MENU_TEXT, from)) != std::string::npos;) {
    cleared += output.substr(from, at - from) + "<clear>" + MENU_TEXT;
    from = at + MENU_TEXT.size();
    bool next_menu = output.compare(from, MENU_TEXT.size(), MENU_TEXT) == 0;
    if (!next_menu && output.substr(from) != "\n") cleared += "<clear>";
  }
  return cleared + output.substr(from);
}

/// The files a Windows program leaves: the line writer writes in text mode,
/// the encipherer in binary. So a new file is text; a file kept whole at its
/// start was appended to, in text; any other change enciphered it in place.
Files windows_files(const Files& before, const Files& after) {
  Files expected;
  for (const auto& [name, bytes] : after) {
    auto was = before.find(name);
    if (was == before.end()) {
      expected[name] = text(bytes);
    } else if (bytes.starts_with(was->second)) {
      expected[name] = was->second + text(bytes.substr(was->second.size()));
    } else {
      expected[name] = bytes;
    }
  }
  return expected;
}

class Dialogue : public ::testing::TestWithParam<fs::path> {};
using InProcess = Dialogue;
using BuiltProgram = Dialogue;

TEST_P(InProcess, Plays) {
  const Case c = load(GetParam());
  TemporaryFolder folder;
  lay_files(folder.path(), c.before);
  Session session = run_session(c.input);
  EXPECT_EQ(session.transcript, with_clears(c.output));
  EXPECT_EQ(session.status, c.status);
  EXPECT_EQ(current_file.stream, nullptr) << "the file was left open";
  EXPECT_EQ(files_in(folder.path()), c.after);
}

TEST_P(BuiltProgram, Plays) {
  const Case c = load(GetParam());
  ProgramRun run = run_program(c.input, c.before);
  if (windows_line_ends()) {
    EXPECT_EQ(run.output, file_or(c.folder / "output.windows", text(c.output)));
    EXPECT_EQ(run.files, fs::exists(c.folder / "after.windows")
                             ? files_in(c.folder / "after.windows")
                             : windows_files(c.before, c.after));
  } else {
    EXPECT_EQ(run.output, c.output);
    EXPECT_EQ(run.files, c.after);
  }
  EXPECT_EQ(run.status, c.status);
  EXPECT_EQ(run.errors, text(c.errors));
}

std::string case_name(const ::testing::TestParamInfo<fs::path>& info) {
  std::string name = info.param.filename().string();
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Dialogues, InProcess, ::testing::ValuesIn(case_folders()), case_name);
INSTANTIATE_TEST_SUITE_P(Dialogues, BuiltProgram, ::testing::ValuesIn(case_folders()), case_name);

}  // namespace
}  // namespace octets::test
