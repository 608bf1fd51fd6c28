#include "console/help.h"

namespace octets {

void show_help(Console& console) {
  console.write(
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
      "le dossier 2 par rapport au lecteur C => C:\\\\...\\\\dossier2\\\\fichier.txt\n\n"
      "Attention :\n\n"
      "- Le programme Ecrasera le fichier (de mEme nom) sans avertissement.\n"
      "- N'utilisez cette application qu'avec de petits fichiers.\n"
      "- N'utilisez pas cette application pour crypter vos donnEes confidentielles.\n\n");
}

}  // namespace octets
