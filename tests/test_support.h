#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <limits>
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
  std::function<void()> on_long_output;
};

/// A console over a string, with its transcript.
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

/// Runs the whole program's dialogue on the given input.
Session run_session(const std::string& input);

/// Runs the whole dialogue in a child process whose files may not grow past
/// `limit` bytes, so that writes really fail there.
Session run_session_with_file_limit(const std::string& input, long limit);

// Inline, so that constants built from them in a test file see them ready.
/// The menu's text, waiting for a choice.
inline const std::string MENU_TEXT =
    "\n 1 = Ecrire un nouveau fichier\n"
    " 2 = Ajouter A la fin du fichier\n\n"
    " 3 = Afficher le fichier en symboles de la table d'IBM\n"
    " 4 = Afficher le fichier en chiffres de base 10\n"
    " 5 = Afficher le fichier en chiffres de base 16\n"
    " 6 = Afficher le fichier en chiffres de base 2\n\n"
    " 7 = Crypter / DEcrypter un fichier\n\n"
    " 8 = Aide\n"
    " 0 = Quitter ce menu\n"
    " " + std::string(55, '-') + "\n"
    " Votre choix : ";

/// The menu as shown on a cleared screen.
inline const std::string MENU = "<clear>" + MENU_TEXT;
inline const std::string SEPARATOR = std::string(28, '*') + "\n";
/// What follows every operation: the separator line and the continue question.
inline const std::string CONTINUE = SEPARATOR + "\n Souhaitez-vous continuer ? (Y/n) : ";
inline const std::string NAME_PROMPT = "Nom du fichier TEXTE : ";
inline const std::string LINE_PROMPT = "Ligne A enregistrer : ";
/// What the line writer writes after the name prompt, by mode.
inline const std::string CREATE_HEADING =
    "CrEe / Ecrase le fichier. Taper 'fin' pour fermer le fichier\n" + SEPARATOR;
inline const std::string APPEND_HEADING =
    "Ajoute A la fin du fichier. Taper 'fin' pour fermer le fichier\n" + SEPARATOR;
/// What the text view writes after the name prompt, before the text.
inline const std::string TEXT_HEADING =
    "Rappel : N'affiche que les caractEres imprimables\n" + SEPARATOR;
/// What the encipherer writes after the name prompt, up to the confirmation.
inline std::string crypt_asked(std::size_t size) {
  return " = " + std::to_string(size) +
         " octets\nAttention. Tous les octets vont Etre modifiEs.\n"
         "Souhaitez vous crypter/dEcrypter ? (y/N) : ";
}
inline const std::string KEY_PROMPT = "ClE de cryptage/dEcryptage (1 A 255) = ";
inline const std::string CRYPTED = "Fichier cryptE / dEcryptE\n";
/// What a byte view writes after the name prompt: the size, the heading naming
/// the base, the separator line and the byte values on one line.
inline std::string byte_view(std::size_t size, int base, const std::string& values) {
  return NAME_PROMPT + " = " + std::to_string(size) + " octets ; Affichage en base " +
         std::to_string(base) + "\n" + SEPARATOR + values + "\n";
}
/// The help page, byte for byte.
inline const std::string HELP =
    "Le but de cette application-console est de montrer le contenu d'un fichier\n"
    "sous diffErentes formes : en lettres, en chiffres dEcimaux, hexadEcimaux et binaires.\n\n"
    "TOUT FICHIER N'EST QU'UN ENSEMBLE D'OCTETS.\n\n"
    "Y compris les fichiers d'extension : .txt, .html, .jpg, .pdf, ...\n"
    "Y compris tous les .exe ! Comme le prEsent exEcutable\n\n"
    "Il est facile de crypter un fichier (modifier ses bits).\n\n"
    "Si le 'fichier.txt' est dans :\n"
    "le dossier du prEsent EXE => fichier.txt\n"
    "le sous-'dossier1' du dossier du prEsent EXE => dossier1/fichier.txt\n"
    "le dossier parent du dossier du prEsent EXE => ../fichier.txt\n"
    R"(le dossier 2 par rapport au lecteur C => C:\\...\\dossier2\\fichier.txt)"
    "\n\n"
    "Attention :\n\n"
    "- Le programme Ecrasera le fichier (de mEme nom) sans avertissement.\n"
    "- N'utilisez cette application qu'avec de petits fichiers.\n"
    "- N'utilisez pas cette application pour crypter vos donnEes confidentielles.\n\n";




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
/// The bytes, each combined with the key by exclusive or.
std::string enciphered(std::string bytes, unsigned char key);

}  // namespace octets::test
