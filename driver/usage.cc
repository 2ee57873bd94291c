// The banner and the usage text. Every piece is printed as written: users'
// scripts and documentation quote these lines, trailing blanks included.
#include "driver/usage.h"

namespace dbrunner {

void PrintHeader(std::FILE* out) {
  std::fputs("\n", out);
  std::fputs("******************************************************\n", out);
  std::fputs("** Projekt      : KORVALDEN                         **\n", out);
  std::fputs("** Tool         : DBRUNNER                          **\n", out);
  std::fputs("** Beschreibung : Ausfuehren einer SQL-UPDATE       **\n", out);
  std::fputs("**                Anweisung                         **\n", out);
  std::fputs("**                                                  **\n", out);
  std::fputs("******************************************************\n", out);
  std::fputs("\n", out);
}

void PrintUsage(std::FILE* out) {
  std::fputs("Befehlsformat: \n", out);
  std::fputs("DBRUNNER.EXE Sektionsname INI-Dateiname n-Parameter  \n", out);
  std::fputs("\n", out);
  std::fputs("Sektionsname  = Name der Sektion in der Ini-Datei \n", out);
  std::fputs("INI-Dateiname = Dateiname der Entschluesselten KORVALDEN-INI \n", out);
  std::fputs("Parameter     = Schluesselwert \n", out);
  std::fputs("\n", out);
  std::fputs("Beispiel:\n", out);
  std::fputs("DBRUNNER.EXE GETTERM .\\FILES\\KV.INI \"Parameter01\"\n . . .", out);
  std::fputs("\n", out);
}

}  // namespace dbrunner
