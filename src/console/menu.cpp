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

/// Runs what the choice calls for; choice "0" runs nothing. Only enciphering
/// holds signals back, so only it can be interrupted.
Interruption run_choice(Console& console, char choice) {
  if (const ViewKind* view = chosen_view(choice)) {
    show_file(console, *view);
    return {};
  }
  switch (choice) {
    case '1':
      write_lines(console, WriteMode::create);
      break;
    case '2':
      write_lines(console, WriteMode::append);
      break;
    case '7':
      return crypt_file(console);
    case '8':
      show_help(console);
      break;
  }
  return {};
}

/// The exit status once the dialogue is over: a dialogue that could not all be
/// shown, or whose input could not all be read, did not go as it should.
ExitStatus status(Console& console) {
  console.flush();
  return console.output_failed() || console.input_failed() ? ExitStatus::failure()
                                                           : ExitStatus::success();
}

/// The status to end with when the input runs out: the dialogue ends as if the
/// user had answered "n", on a fresh line so that a shell prompt starts clean.
ExitStatus end_of_input(Console& console) {
  console.write("\n");
  return status(console);
}

}  // namespace

ExitStatus run_menu(Console& console) {
  // Once the output is lost the dialogue still goes on as the input directs,
  // so that a script's files are all written; the status tells of the loss.
  for (;;) {
    std::optional<char> choice;
    do {
      console.clear_screen();
      console.write(MENU);
      choice = console.read_answer();
      if (!choice) return end_of_input(console);
    } while (*choice < '0' || *choice > '8');
    console.clear_screen();
    if (Interruption stop = run_choice(console, *choice)) {
      console.flush();
      return ExitStatus::ended_by(stop.signal);
    }
    console.print_separator();
    console.write("\n Souhaitez-vous continuer ? (Y/n) : ");
    console.discard_pending_input();
    std::optional<char> answer = console.read_char();
    if (!answer) return end_of_input(console);
    if (*answer == 'n') return status(console);
  }
}

}  // namespace octets
