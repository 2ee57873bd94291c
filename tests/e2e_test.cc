// End to end: the built program in a temporary directory, with a real SQLite
// database, credential file and statement file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "credentials/hex_decrypt.h"
#include "tests/sqlite_query.h"
#include "tests/test_util.h"

namespace dbrunner {
namespace {

using testing::ProcessResult;
using testing::Query;
using testing::ScopedTempDir;
using testing::WriteFile;

std::string Record(int number, const std::string& key, const std::string& value,
                   const std::string& eol = "\n") {
  return "KORVALDEN;DB;x" + eol + std::to_string(number) + ";" + key + ";" +
         EncryptHexString(value) + eol;
}

class EndToEnd : public ::testing::Test {
 protected:
  EndToEnd() {
    db_ = dir_.File("t.db");
    Query(db_,
          "CREATE TABLE T(ID INTEGER PRIMARY KEY, A TEXT NOT NULL, U TEXT UNIQUE);"
          "INSERT INTO T(ID, A, U) VALUES (1, 'a', 'u1'), (2, 'b', 'u2'), (17, 'q', 'u17');");
    WriteCredentials("sqlite:t.db");
  }

  void WriteCredentials(const std::string& net8, const std::string& eol = "\n") {
    WriteFile(dir_.File("kv.ini"), Record(1, "NET8", net8, eol) + Record(2, "LOGIN", "scott", eol) +
                                       Record(3, "PASS", "p/w@x;'\" y", eol) +
                                       Record(4, "DB_SYSTEM", "SQLITE", eol));
  }
  void WriteStatements(const std::string& ini) { WriteFile(dir_.File("DBRUNNER.SQLITE.INI"), ini); }

  ProcessResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), DBRUNNER_BINARY);
    return testing::RunProcess(args, dir_.path());
  }

  std::string Rows() { return Query(db_, "SELECT ID || '=' || A FROM T ORDER BY ID"); }

  ScopedTempDir dir_;
  std::string db_;
};

TEST_F(EndToEnd, UpdatesTheRowAndCommits) {
  WriteStatements(
      "[SETA]\r\nSQL001=UPDATE T\r\nSQL002=SET A = '$parm02'\r\n"
      "SQL003=WHERE ID = $parm01;\r\n");
  ProcessResult r = Run({"SETA", "kv.ini", "17", "new value"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Rows(), "1=a|2=b|17=new value");
}

TEST_F(EndToEnd, CrLfCredentialFileAndDiagnosticMode) {
  WriteCredentials("sqlite:t.db", "\r\n");
  WriteStatements("[SETA]\nSQL001=UPDATE T SET A = 'z' WHERE ID = $parm01\n");
  ProcessResult r = Run({"SETA", "kv.ini", "/D", "2"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out,
            " Parm = '2'\n"
            "\n DB-Informationen:\n"
            "  DbSys    = 'SQLITE'\n"
            "  DbName   = 'sqlite:t.db'\n"
            "  Benutzer = 'scott'\n"
            "  Passwort = 'p/w@x;'\" y'\n"
            "\nStr GetIniValues\n"
            "\nSQL-Statement :\n"
            "' UPDATE T SET A = 'z' WHERE ID = $parm01'\n\n"
            "\nSQL-Statement modifiziert:\n"
            "' UPDATE T SET A = 'z' WHERE ID = 2'\n\n"
            "\n SQL-Fehler : 0\n");
  EXPECT_EQ(Rows(), "1=a|2=z|17=q");
}

TEST_F(EndToEnd, OutcomesAndExitStatuses) {
  struct Row {
    const char* name;
    std::string ini;
    std::vector<std::string> args;
    int exit_code;
    std::string out;
  };
  const std::string kUpdate = "[S]\nSQL001=UPDATE T SET A = '$parm01' WHERE ID = 1\n";
  const Row kRows[] = {
      {"too few arguments", kUpdate, {"S", "kv.ini"}, 1, ""},
      {"no such section", kUpdate, {"NONE", "kv.ini", "x"}, 3, ""},
      {"gap before SQL001", "[S]\nSQL002=UPDATE T SET A = 'x'\n", {"S", "kv.ini", "x"}, 3, ""},
      {"no such table (-1)",
       "[S]\nSQL001=UPDATE NOPE SET A = 'x'\n",
       {"S", "kv.ini", "x"},
       255,
       ""},
      {"unique violation (-2067)",
       "[S]\nSQL001=UPDATE T SET U = 'u2' WHERE ID = 1\n",
       {"S", "kv.ini", "x"},
       237,
       ""},
      {"two statements refused (-1)",
       "[S]\nSQL001=UPDATE T SET A = 'x' WHERE ID = 1; DELETE FROM T\n",
       {"S", "kv.ini", "x"},
       255,
       ""},
      {"value that breaks out of code is refused",
       "[S]\nSQL001=UPDATE T SET A = 'x' WHERE ID = $parm01\n",
       {"S", "kv.ini", "1 OR 1=1"},
       4,
       "Unzulaessiger Wert fuer Platzhalter $parm01\n"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    WriteStatements(row.ini);
    ProcessResult r = Run(row.args);
    EXPECT_EQ(r.exit_code, row.exit_code);
    if (row.exit_code != 1) {
      EXPECT_EQ(r.out, row.out);
    }
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Rows(), "1=a|2=b|17=q");
  }
}

TEST_F(EndToEnd, QuoteInValueStaysInsideItsLiteral) {
  WriteStatements("[S]\nSQL001=UPDATE T SET A = 'new' WHERE A = '$parm01'\n");
  ProcessResult r = Run({"S", "kv.ini", "x' OR '1'='1"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(Rows(), "1=a|2=b|17=q");

  WriteStatements("[S]\nSQL001=UPDATE T SET A = '$parm01' WHERE ID = 2\n");
  r = Run({"S", "kv.ini", "O'Brien"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(Rows(), "1=a|2=O'Brien|17=q");
}

TEST_F(EndToEnd, ConnectionFailuresReportTheirStatus) {
  struct Row {
    const char* net8;
    int exit_code;
    std::string out;
  };
  const Row kRows[] = {
      {"sqlite:missing.db", 242, "dbConnect_Status: -14\n"},
      {"", 134, "dbConnect_Status: -12154\n"},
      // A net service name, and no Oracle client on this machine.
      {"KORV11", 241, "dbConnect_Status: -9999\n"},
  };
  WriteStatements("[S]\nSQL001=UPDATE T SET A = 'x'\n");
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.net8);
    WriteCredentials(row.net8);
    ProcessResult r = Run({"S", "kv.ini", "/D"});
    EXPECT_EQ(r.exit_code, row.exit_code);
    ASSERT_GE(r.out.size(), row.out.size());
    EXPECT_EQ(r.out.substr(r.out.size() - row.out.size()), row.out);
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "missing.db"));
  EXPECT_EQ(Rows(), "1=a|2=b|17=q");
}

}  // namespace
}  // namespace dbrunner
