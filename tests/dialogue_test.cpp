// Whole dialogues under hostile conditions: input cut at every byte, megabyte
// lines, zero and non-ASCII bytes, odd names, a file deleted while it is open.
// Every run must end with status 0, close its file, and leave exactly the
// files its input implies.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "console/menu.h"
#include "fake_file.h"
#include "files/current_file.h"
#include "test_support.h"

namespace octets {
namespace {

namespace fs = std::filesystem;
using test::CONTINUE;
using test::enciphered;
using test::read_file;
using test::write_file;

using test::Files;

const std::string BINARY("\x00\x0A\x0D\x1A\xFF", 5);
const Files SEEDS = {{"t.txt", "un\n"}, {"b.bin", BINARY}};

Files with(Files files, const std::string& name, const std::string& bytes) {
  files[name] = bytes;
  return files;
}

/// Every entry of a folder; a folder's own content shows as "<folder>".
Files files_in(const fs::path& folder) {
  Files files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    files[entry.path().filename().string()] =
        entry.is_directory() ? "<folder>" : read_file(entry.path());
  }
  return files;
}

class Dialogue : public ::testing::Test {
 protected:
  /// Empties the current folder and lays the seed files in it.
  static void lay_seeds() {
    for (const auto& entry : fs::directory_iterator(".")) fs::remove_all(entry.path());
    for (const auto& [name, bytes] : SEEDS) write_file(name, bytes);
  }

  /// Runs a whole dialogue on fresh seed files; checks that it ended with
  /// status 0 and closed its file.
  static test::Session run(const std::string& input) {
    lay_seeds();
    test::Session session = test::run_session(input);
    EXPECT_EQ(session.status, 0);
    EXPECT_EQ(current_file.stream, nullptr) << "the file was left open";
    return session;
  }

  test::TemporaryFolder folder;
};

/// What was typed at a name prompt starting at `start`: nothing when the input
/// ends there, else the name up to its line end or to the end of the input.
std::optional<std::string> typed_name(const std::string& cut, std::size_t start) {
  if (cut.size() <= start) return std::nullopt;
  return cut.substr(start, cut.find('\n', start) - start);
}

/// What the line writer stores when `lines` then "fin" were to be typed from
/// `start` and the input was cut: every byte typed, except the end marker.
std::string written(const std::string& cut, std::size_t start, const std::string& lines) {
  std::string typed = cut.size() > start ? cut.substr(start) : "";
  return typed.starts_with(lines + "fin") ? lines : typed;
}

TEST_F(Dialogue, InputCutAtEveryByteEndsCleanlyAndKeepsWhatWasTyped) {
  struct Script {
    std::string input;
    std::function<Files(const std::string& cut)> files;
  };
  auto untouched = [](const std::string&) { return SEEDS; };
  auto line_writer = [](std::string lines, bool append) {
    return [lines, append](const std::string& cut) {
      std::optional<std::string> name = typed_name(cut, 2);
      if (!name) return SEEDS;
      std::string before = append && SEEDS.count(*name) ? SEEDS.at(*name) : "";
      return with(SEEDS, *name, before + written(cut, 2 + name->size() + 1, lines));
    };
  };
  const Script scripts[] = {
      {"1\nnew.txt\nun\ndeux\nfin\nn\n", line_writer("un\ndeux\n", false)},
      {"2\nt.txt\ntrois\nfin\nn\n", line_writer("trois\n", true)},
      {"3\nt.txt\nn\n", untouched},
      {"4\nb.bin\nn\n", untouched},
      {"5\nb.bin\nn\n", untouched},
      {"6\nb.bin\nn\n", untouched},
      {"8\nn\n", untouched},
      // The key is read as far as it was typed: "4" enciphers with 4.
      {"7\nb.bin\ny\n42\nn\n",
       [](const std::string& cut) {
         std::string key = cut.size() > 10 ? cut.substr(10, 2) : "";
         if (key.empty()) return SEEDS;
         return with(SEEDS, "b.bin",
                     enciphered(BINARY, static_cast<unsigned char>(std::stoi(key))));
       }},
  };
  for (const Script& script : scripts) {
    for (std::size_t length = 0; length <= script.input.size(); ++length) {
      std::string cut = script.input.substr(0, length);
      test::Session session = run(cut);
      EXPECT_EQ(files_in("."), script.files(cut)) << "input: " << cut;
      EXPECT_EQ(session.transcript.find("Erreur"), std::string::npos) << "input: " << cut;
    }
  }
}

TEST_F(Dialogue, MegabyteLineAtEveryPromptIsTakenInPieces) {
  const std::string BIG(1 << 20, 'x');
  struct Case {
    std::string prompt;
    std::string input;
    Files files;
  };
  const Case cases[] = {
      {"menu", BIG + "\n8\nn\n", SEEDS},
      {"view name", "5\n" + BIG + "\nn\n", SEEDS},
      // The first 28 characters name the file, the 29th is lost, the rest is
      // the first line.
      {"writer name", "1\n" + BIG + "\nfin\nn\n",
       with(SEEDS, std::string(28, 'x'), BIG.substr(29) + "\n")},
      {"line", "1\nnew.txt\n" + BIG + "\nfin\nn\n", with(SEEDS, "new.txt", BIG + "\n")},
      {"confirmation", "7\nb.bin\n" + BIG + "\nn\n", SEEDS},
      {"key", "7\nb.bin\ny\n" + BIG + "\nn\n", SEEDS},
      {"key of a million zeros", "7\nb.bin\ny\n" + std::string(1 << 20, '0') + "7\nn\n",
       with(SEEDS, "b.bin", enciphered(BINARY, 7))},
      {"continue", "0\n" + BIG + "\n8\nn\n", SEEDS},
  };
  for (const Case& c : cases) {
    test::Session session = run(c.input);
    // The last "n" still answers the continue question: the dialogue kept up.
    EXPECT_TRUE(session.transcript.ends_with(CONTINUE)) << c.prompt;
    EXPECT_EQ(files_in("."), c.files) << c.prompt;
  }
}

TEST_F(Dialogue, NamesWithSpacesParentFoldersAndAbsolutePaths) {
  // Run one folder down, so that the parent can be looked at too.
  fs::create_directory("work");
  fs::current_path("work");
  const std::string absolute = "/tmp/octets-" + std::to_string(getpid()) + ".txt";
  struct Case {
    std::string input;
    Files here;
    Files parent;
  };
  const Files parent_alone = {{"work", "<folder>"}};
  const Case cases[] = {
      {"1\nmon fichier.txt\nx\nfin\nn\n", with(SEEDS, "mon fichier.txt", "x\n"), parent_alone},
      {"2\n t.txt \nx\nfin\nn\n", with(SEEDS, " t.txt ", "x\n"), parent_alone},
      {"1\n..\nn\n", SEEDS, parent_alone},
      {"7\n..\nn\n", SEEDS, parent_alone},
      {"2\n../dehors.txt\nx\nfin\nn\n", SEEDS, with(parent_alone, "dehors.txt", "x\n")},
      {"1\n/dev/null\nn\n", SEEDS, parent_alone},
      {"7\n/dev/zero\nn\n", SEEDS, parent_alone},
      {"5\n/\nn\n", SEEDS, parent_alone},
      {"1\n" + absolute + "\nabs\nfin\nn\n", SEEDS, parent_alone},
  };
  for (const Case& c : cases) {
    fs::remove("../dehors.txt");
    test::Session session = run(c.input);
    EXPECT_TRUE(session.transcript.ends_with(CONTINUE)) << c.input;
    EXPECT_EQ(files_in("."), c.here) << c.input;
    EXPECT_EQ(files_in(".."), c.parent) << c.input;
  }
  EXPECT_EQ(read_file(absolute), "abs\n");
  fs::remove(absolute);
}

TEST_F(Dialogue, FifoIsRefusedWithoutBeingOpened) {
  // A reader waits on the FIFO: had the program opened it for writing and
  // closed it again, the reader would see its end.
  ASSERT_EQ(mkfifo("fifo", 0600), 0);
  int reader = open("fifo", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  for (std::string choice : {"1", "2", "3", "5", "7"}) {
    test::Session session = test::run_session(choice + "\nfifo\nn\n");
    EXPECT_TRUE(session.transcript.ends_with("Impossible d'ouvrir le fichier 'fifo'" + CONTINUE));
    pollfd seen{reader, POLLIN, 0};
    EXPECT_EQ(poll(&seen, 1, 0), 0) << choice;
  }
  close(reader);
}

TEST_F(Dialogue, FileDeletedWhileOpenIsStillReadOrWrittenWhole) {
  // A second link keeps the file's bytes reachable once its name is removed.
  struct Case {
    std::string input;
    std::string trigger;
    std::string name;
    std::string shown;
    std::string left_in_link;
  };
  const Case cases[] = {
      {"3\nt.txt\nn\n", "Rappel", "t.txt", SEPARATOR_LINE + std::string("un\n"), "un\n"},
      {"5\nb.bin\nn\n", " octets", "b.bin", "00 0A 0D 1A FF \n", BINARY},
      // The name no longer leads to the file: it is not the one the user meant.
      {"7\nb.bin\ny\n9\nn\n", "Attention", "b.bin",
       "Le fichier a EtE remplacE ou supprimE par un autre programme : il n'a pas EtE modifiE\n",
       BINARY},
      {"2\nt.txt\ndeux\nfin\nn\n", "Taper", "t.txt",
       "Ligne A enregistrer : Ligne A enregistrer : ", "un\ndeux\n"},
  };
  for (const Case& c : cases) {
    lay_seeds();
    fs::create_hard_link(c.name, "link");
    test::ActingBuffer buffer(c.trigger, [&c] { fs::remove(c.name); });
    std::ostream out(&buffer);
    // A byte at a time, so that the output leaves before each wait for input.
    test::StringSource source(c.input, 1);
    test::FakeTerminal terminal;
    Console console(source, out, terminal);
    // The encipherment that was asked for did not happen: the status says so.
    EXPECT_EQ(run_menu(console), c.input[0] == '7' ? 1 : 0) << c.input;
    EXPECT_EQ(current_file.stream, nullptr) << c.input;
    EXPECT_FALSE(fs::exists(c.name)) << c.input;
    EXPECT_NE(buffer.str().find(c.shown + test::SEPARATOR), std::string::npos) << c.input;
    EXPECT_EQ(buffer.str().find("Erreur"), std::string::npos) << c.input;
    EXPECT_EQ(read_file("link"), c.left_in_link) << c.input;
  }
}

}  // namespace
}  // namespace octets
