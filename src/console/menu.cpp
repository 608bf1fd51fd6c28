#include "console/menu.h"

#include "console/help.h"
#include "files/encipherer.h"
#include "files/file_viewer.h"
#include "files/line_writer.h"

namespace octets {
namespace {

constexpr const char* MENU =
    "\n 1 = Ecrire un nouveau fichier\n"
    " 2 = Ajouter A la fin du fichier\n\n"
    " 3 = Afficher le fichier en symboles de la table d'IBM\n"
    " 4 = Afficher le fichier en chiffres de base 10\n"
    " 5 = Afficher le fichier en chiffres de base 16\n"
    " 6 = Afficher le fichier en chiffres de base 2\n\n"
    " 7 = Crypter / DEcrypter un fichier\n\n"
    " 8 = Aide\n"
    " 0 = Quitter ce menu\n"
    " -------------------------------------------------------\n"
    " Votre choix : ";

/// Runs what the choice calls for; choice "0" runs nothing. False when a line
/// write, a sync or an encipherment failed.
bool run_choice(Console& console, char choice) {
  if (const ViewKind* view = chosen_view(choice)) {
    show_file(console, *view);
    return true;
  }
  switch (choice) {
    case '1':
      return write_lines(console, WriteMode::create);
    case '2':
      return write_lines(console, WriteMode::append);
    case '7':
      return crypt_file(console);
    case '8':
      show_help(console);
      break;
  }
  return true;
}

/// The exit status once the dialogue is over: a dialogue in which an operation
/// failed, that could not all be shown, or whose input could not all be read,
/// did not go as it should.
int status(Console& console, bool failed) {
  console.flush();
  return failed || console.output_failed() || console.input_failed() ? 1 : 0;
}

/// The status to end with when the input runs out: the dialogue ends as if the
/// user had answered "n", on a fresh line so that a shell prompt starts clean.
int end_of_input(Console& console, bool failed) {
  console.write("\n");
  return status(console, failed);
}

}  // namespace

int run_menu(Console& console) {
  // Once the output is lost, or an operation failed, the dialogue still goes
  // on as the input directs, so that a script's files are all written; the
  // status tells of the loss.
  bool failed = false;
  for (;;) {
    std::optional<char> choice;
    do {
      console.clear_screen();
      console.write(MENU);
      choice = console.read_answer();
      if (!choice) return end_of_input(console, failed);
      // An answer longer than one read is refused whole: the rest of its line
      // is dropped, so that no piece of it is taken for the next answer.
      if (console.line_begun()) {
        console.discard_pending_input();
        choice = NO_ANSWER;
      }
    } while (*choice < '0' || *choice > '8');
    console.clear_screen();
    if (!run_choice(console, *choice)) failed = true;
    console.print_separator();
    console.write("\n Souhaitez-vous continuer ? (Y/n) : ");
    console.discard_pending_input();
    std::optional<char> answer = console.read_char();
    if (!answer) return end_of_input(console, failed);
    if (*answer == 'n') return status(console, failed);
  }
}

}  // namespace octets
