#include "driver/run_sequence.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "credentials/hex_decrypt.h"
#include "tests/fake_backend.h"
#include "tests/run_in_dir.h"
#include "tests/test_util.h"

namespace dbrunner {
namespace {

using testing::FakeFactory;
using testing::FakeScript;

// One record per value, answering only its own key.
std::string CredentialFile(const std::string& net8, const std::string& db_sys = "TST") {
  std::string text;
  int number = 1;
  for (const auto& [key, value] : {std::pair<std::string, std::string>{"NET8", net8},
                                   {"LOGIN", "scott"},
                                   {"PASS", "ti/g@r"},
                                   {"DB_SYSTEM", db_sys}}) {
    text +=
        "x;DB;y\n" + std::to_string(number++) + ";" + key + ";" + EncryptHexString(value) + "\n";
  }
  return text;
}

class RunSequenceTest : public ::testing::Test {
 protected:
  RunSequenceTest() : cwd_(dir_.path()) {
    testing::WriteFile(dir_.File("cred.ini"), CredentialFile("fake:db"));
    testing::WriteFile(dir_.File("DBRUNNER.TST.INI"),
                       "[UPD]\r\nSQL001=UPDATE T\r\nSQL002=SET A = '$parm01'\r\n");
  }

  // Runs with the arguments after the program name; returns the status.
  std::int32_t Run(std::vector<const char*> args) {
    args.insert(args.begin(), "dbrunner");
    std::FILE* out = testing::TempFile();
    std::int32_t status =
        RunSequence(static_cast<int>(args.size()), args.data(), out, FakeFactory(script_));
    std::rewind(out);
    out_.clear();
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;)
      out_.append(buffer, n);
    std::fclose(out);
    return status;
  }

  const std::vector<std::string>& log() const { return *script_.log; }

  testing::ScopedTempDir dir_;
  testing::ScopedWorkingDir cwd_;
  FakeScript script_;
  std::string out_;
};

TEST_F(RunSequenceTest, DiagnosticLinesComeInStageOrder) {
  EXPECT_EQ(Run({"UPD", "cred.ini", "X", "/D"}), 0);
  EXPECT_EQ(out_,
            " Parm = 'X'\n"
            "\n DB-Informationen:\n"
            "  DbSys    = 'TST'\n"
            "  DbName   = 'fake:db'\n"
            "  Benutzer = 'scott'\n"
            "  Passwort = 'ti/g@r'\n"
            "\nStr GetIniValues\n"
            "\nSQL-Statement :\n"
            "' UPDATE T SET A = '$parm01''\n\n"
            "\nSQL-Statement modifiziert:\n"
            "' UPDATE T SET A = 'X''\n\n"
            "\n SQL-Fehler : 0\n");
  EXPECT_EQ(log(), (std::vector<std::string>{"Connect(scott,ti/g@r,db)", "SetSchema(ZIZIVUZA)",
                                             "Execute( UPDATE T SET A = 'X')", "Commit", "Close"}));
}

TEST_F(RunSequenceTest, QuietRunPrintsNothing) {
  EXPECT_EQ(Run({"UPD", "cred.ini", "X"}), 0);
  EXPECT_EQ(out_, "");
}

TEST_F(RunSequenceTest, FailedConnectPrintsOneLineAndExitsWithItsStatus) {
  script_.connect = -1017;
  EXPECT_EQ(Run({"UPD", "cred.ini", "X"}), -1017);
  EXPECT_EQ(out_, "dbConnect_Status: -1017\n");
  EXPECT_EQ(log(), (std::vector<std::string>{"Connect(scott,ti/g@r,db)", "Close"}));
}

TEST_F(RunSequenceTest, FailedSchemaSwitchIsAFailedConnect) {
  script_.set_schema = -2003;
  EXPECT_EQ(Run({"UPD", "cred.ini", "X"}), -2003);
  EXPECT_EQ(out_, "dbConnect_Status: -2003\n");
}

TEST_F(RunSequenceTest, UnreadableCredentialFileConnectsWithEmptyValues) {
  EXPECT_EQ(Run({"UPD", "missing.ini", "X"}), kStatusNoBackend);
  EXPECT_EQ(out_, "dbConnect_Status: -12154\n");
  EXPECT_TRUE(log().empty());
}

TEST_F(RunSequenceTest, NoStatementEndsWithThreeBeforeExecute) {
  EXPECT_EQ(Run({"NOSUCH", "cred.ini", "X", "/D"}), 3);
  EXPECT_NE(out_.find("\nStr GetIniValues\n"), std::string::npos);
  EXPECT_EQ(out_.find("SQL-Statement"), std::string::npos);
  EXPECT_EQ(log(),
            (std::vector<std::string>{"Connect(scott,ti/g@r,db)", "SetSchema(ZIZIVUZA)", "Close"}));
}

TEST_F(RunSequenceTest, FailedExecuteIsStillFollowedByTheCommit) {
  script_.execute = -942;
  EXPECT_EQ(Run({"UPD", "cred.ini", "X"}), -942);
  EXPECT_EQ(log().at(3), "Commit");
}

TEST_F(RunSequenceTest, FailedCommitAfterGoodExecuteIsTheResult) {
  script_.commit = -2091;
  EXPECT_EQ(Run({"UPD", "cred.ini", "X"}), -2091);
  script_.execute = -1;
  EXPECT_EQ(Run({"UPD", "cred.ini", "X"}), -1);
}

TEST_F(RunSequenceTest, RefusedParameterStopsBeforeExecute) {
  testing::WriteFile(dir_.File("DBRUNNER.TST.INI"), "[UPD]\nSQL001=UPDATE T SET A = $parm01\n");
  EXPECT_EQ(Run({"UPD", "cred.ini", "1; DELETE FROM T"}), 4);
  EXPECT_EQ(out_, "Unzulaessiger Wert fuer Platzhalter $parm01\n");
  EXPECT_EQ(log(),
            (std::vector<std::string>{"Connect(scott,ti/g@r,db)", "SetSchema(ZIZIVUZA)", "Close"}));
}

TEST_F(RunSequenceTest, DbNameOfFortyCharactersIsUsedAndLongerIsLeftEmpty) {
  const std::string forty = "fake:" + std::string(35, 'n');
  for (const auto& [net8, used] :
       {std::pair<std::string, bool>{forty, true}, {forty + "n", false}, {forty + "nn", false}}) {
    SCOPED_TRACE(net8.size());
    testing::WriteFile(dir_.File("cred.ini"), CredentialFile(net8));
    script_.log->clear();
    EXPECT_EQ(Run({"UPD", "cred.ini", "X"}), used ? 0 : kStatusNoBackend);
    EXPECT_EQ(log().empty(), !used);
  }
}

}  // namespace
}  // namespace dbrunner
