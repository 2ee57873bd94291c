#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/test_util.h"

namespace dbrunner {
namespace {

struct Parsed {
  std::int32_t status;
  RunState state;
  std::string out;
};

Parsed Check(std::vector<const char*> args) {
  args.insert(args.begin(), "dbrunner");
  Parsed parsed;
  std::FILE* out = testing::TempFile();
  parsed.status = CheckParameters(static_cast<int>(args.size()), args.data(), parsed.state, out);
  std::rewind(out);
  char buffer[4096];
  std::size_t n = std::fread(buffer, 1, sizeof buffer, out);
  parsed.out.assign(buffer, n);
  std::fclose(out);
  return parsed;
}

TEST(CheckParameters, TooFewArgumentsPrintBannerMessageAndUsage) {
  Parsed parsed = Check({"SEC", "file.ini"});
  EXPECT_EQ(parsed.status, 1);
  EXPECT_EQ(parsed.out,
            "\n"
            "******************************************************\n"
            "** Projekt      : KORVALDEN                         **\n"
            "** Tool         : DBRUNNER                          **\n"
            "** Beschreibung : Ausfuehren einer SQL-UPDATE       **\n"
            "**                Anweisung                         **\n"
            "**                                                  **\n"
            "******************************************************\n"
            "\n"
            "Falsche Anzahl Parameter\n"
            "\n"
            "Befehlsformat: \n"
            "DBRUNNER.EXE Sektionsname INI-Dateiname n-Parameter  \n"
            "\n"
            "Sektionsname  = Name der Sektion in der Ini-Datei \n"
            "INI-Dateiname = Dateiname der Entschluesselten KORVALDEN-INI \n"
            "Parameter     = Schluesselwert \n"
            "\n"
            "Beispiel:\n"
            "DBRUNNER.EXE GETTERM .\\FILES\\KV.INI \"Parameter01\"\n . . .\n");
}

TEST(CheckParameters, SwitchAndParametersInAnyOrder) {
  struct Row {
    std::vector<const char*> args;
    std::string section;
    bool debug;
    std::vector<std::string> params;
    std::string out;
  };
  const Row kRows[] = {
      {{"SEC", "f.ini", "/D"}, "SEC", true, {}, ""},
      {{"SEC", "f.ini", "A", "/d", "B"}, "SEC", true, {"A", "B"}, " Parm = 'A'\n Parm = 'B'\n"},
      {{"/D", "f.ini", "X"}, "/D", false, {"X"}, ""},
      {{"SEC", "f.ini", "-d", "/DEBUG", "", "/D", "/D"},
       "SEC",
       true,
       {"-d", "/DEBUG", ""},
       " Parm = '-d'\n Parm = '/DEBUG'\n Parm = ''\n"},
      {{"SEC", "f.ini", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"},
       "SEC",
       false,
       {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"},
       ""},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.out);
    Parsed parsed = Check(row.args);
    EXPECT_EQ(parsed.status, 0);
    EXPECT_EQ(parsed.state.section_name, row.section);
    EXPECT_EQ(parsed.state.debug_mode, row.debug);
    EXPECT_EQ(parsed.state.param_list, row.params);
    EXPECT_EQ(parsed.out, row.out);
  }
}

}  // namespace
}  // namespace dbrunner
