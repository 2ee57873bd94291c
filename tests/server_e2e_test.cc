// End to end on the server backends: the built program against the
// PostgreSQL server and the ODBC data sources of scripts/pg-test-server, and
// the client libraries that a run loads.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "credentials/hex_decrypt.h"
#include "db/sqlstate.h"
#include "driver/exit_code.h"
#include "tests/test_server.h"
#include "tests/test_util.h"

namespace dbrunner {
namespace {

using testing::kInitialRows;
using testing::ProcessResult;
using testing::ScopedTempDir;
using testing::TestServer;
using testing::WriteFile;

std::string Record(int number, const std::string& key, const std::string& value) {
  return "KORVALDEN;DB;x\n" + std::to_string(number) + ";" + key + ";" + EncryptHexString(value) +
         "\n";
}

// A run of the program in a directory of its own: credential file kv.ini and
// statement file DBRUNNER.SRV.INI with section S.
class ProgramRun {
 public:
  ProgramRun(const std::string& net8, const std::string& user, const std::string& password,
             const std::string& sql) {
    WriteFile(dir_.File("kv.ini"), Record(1, "NET8", net8) + Record(2, "LOGIN", user) +
                                       Record(3, "PASS", password) + Record(4, "DB_SYSTEM", "SRV"));
    WriteFile(dir_.File("DBRUNNER.SRV.INI"), "[S]\nSQL001=" + sql + "\n");
  }
  ProcessResult operator()(const std::string& param = "x") const {
    return testing::RunProcess({DBRUNNER_BINARY, "S", "kv.ini", param}, dir_.path());
  }
  const ScopedTempDir& dir() const { return dir_; }

 private:
  ScopedTempDir dir_;
};

// One row per way to reach a database.
struct Target {
  const char* label;
  std::string net8;
  std::string user;
  bool sqlite;  // the dbr_sqlite data source, not the server
};

class ServerEndToEnd : public testing::ServerTest {
 protected:
  std::vector<Target> Targets() const {
    return {
        {"pg service", "pg:dbr_test", "dbr_user", false},
        {"pg URI", "postgresql://127.0.0.1:" + server_.port + "/dbr_test", "dbr_user", false},
        {"ODBC psqlODBC", "odbc:dbr_pg", "dbr_user", false},
        {"ODBC SQLite", "odbc:dbr_sqlite", "", true},
    };
  }
  std::string Rows(const Target& target) const {
    return target.sqlite ? testing::SqliteRows(server_.sqlite_db) : testing::PgRows(server_);
  }
};

// Every server login uses the password that holds what a connect text would
// have to quote; it must hold all of it, or the tests prove less.
TEST_F(ServerEndToEnd, PasswordNeedsQuotingEverywhere) {
  for (const char* c : {"/", "@", ";", "'", "\"", " ", "\\", "=", "{"}) {
    EXPECT_NE(server_.password.find(c), std::string::npos) << c;
  }
}

TEST_F(ServerEndToEnd, StatementsOnEveryBackend) {
  struct Case {
    const char* label;
    const char* sql;
    bool changes;
    // The status per target, in the order of Targets().
    std::int32_t status[4];
  };
  const std::int32_t k42601 = -42601;
  const std::int32_t k42000 = -42000;
  const std::int32_t kHY000 = SqlStateStatus("HY000");
  const Case kCases[] = {
      {"update committed", "UPDATE T SET A = '$parm01' WHERE ID = 17", true, {0, 0, 0, 0}},
      {"no row matched", "UPDATE T SET A = '$parm01' WHERE ID = 99", false, {0, 0, 0, 0}},
      {"unique violation",
       "UPDATE T SET U = 'u1' WHERE ID = 2",
       false,
       {-23505, -23505, -23505, -19}},
      {"deferred foreign key fails at commit",
       "UPDATE CHILD SET P = 2",
       false,
       {-23503, -23503, -23503, -19}},
      {"two statements refused",
       "UPDATE T SET A = 'x' WHERE ID = 1; UPDATE T SET A = 'y'",
       false,
       {k42601, k42601, k42000, kHY000}},
  };
  const std::vector<Target> targets = Targets();
  for (std::size_t t = 0; t < targets.size(); ++t) {
    const Target& target = targets[t];
    for (const Case& c : kCases) {
      SCOPED_TRACE(std::string(target.label) + ": " + c.label);
      ASSERT_NO_FATAL_FAILURE(testing::ResetPgRows(server_));
      ASSERT_NO_FATAL_FAILURE(testing::ResetSqliteDb(server_.sqlite_db));
      const ProcessResult r = ProgramRun(target.net8, target.user, server_.password, c.sql)("new");
      EXPECT_EQ(r.exit_code, ToExitCode(c.status[t]));
      EXPECT_EQ(r.out, "");
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(Rows(target), c.changes ? "1=a|2=b|17=new;1:1" : kInitialRows);
    }
  }
}

// Each failure prints its status and ends the run with it; nothing changes.
TEST_F(ServerEndToEnd, ConnectionFailuresPrintTheirStatus) {
  struct Case {
    const char* label;
    std::string net8;
    std::string user;
    std::string password;
    std::int32_t status;
  };
  const std::string kUri = "postgresql://127.0.0.1:";
  const std::int32_t kConnectFailed = SqlStateStatus("08001");
  const std::int32_t kSchema = SqlStateStatus("3F000");
  const std::string& pw = server_.password;
  const Case kCases[] = {
      {"pg: wrong password", "pg:dbr_test", "dbr_user", "wrong", SqlStateStatus("28P01")},
      {"pg: unknown service", "pg:dbr_nosuch", "dbr_user", pw, kConnectFailed},
      {"pg: no service name", "pg:", "dbr_user", pw, kConnectFailed},
      {"pg: unknown database", "pg:dbr_nodb", "dbr_user", pw, SqlStateStatus("3D000")},
      {"pg: unknown database in a URI", kUri + server_.port + "/dbr_nodb", "dbr_user", pw,
       SqlStateStatus("3D000")},
      {"pg: server down", "pg:dbr_down", "dbr_user", pw, kConnectFailed},
      {"pg: server down, URI", kUri + server_.dead_port + "/dbr_test", "dbr_user", pw,
       kConnectFailed},
      {"pg: unknown schema", "pg:dbr_noschema", "dbr_user", pw, kSchema},
      {"pg: schema not usable", "pg:dbr_test", "dbr_nousage", pw, kSchema},
      {"odbc: wrong password", "odbc:dbr_pg", "dbr_user", "wrong", kConnectFailed},
      {"odbc: unknown data source", "odbc:dbr_nosuch", "dbr_user", pw, SqlStateStatus("IM002")},
      {"odbc: unknown database", "odbc:dbr_pg_nodb", "dbr_user", pw, kConnectFailed},
      {"odbc: server down", "odbc:dbr_pg_down", "dbr_user", pw, kConnectFailed},
      {"odbc: unknown schema", "odbc:dbr_pg_noschema", "dbr_user", pw, kSchema},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    const ProcessResult r = ProgramRun(c.net8, c.user, c.password, "UPDATE T SET A = 'x'")();
    EXPECT_EQ(r.out, "dbConnect_Status: " + std::to_string(c.status) + "\n");
    EXPECT_EQ(r.exit_code, ToExitCode(c.status));
    EXPECT_EQ(r.err, "");
  }
  EXPECT_EQ(testing::PgRows(server_), kInitialRows);
}

// A run with the dynamic loader's report of every library it loads on
// standard error.
ProcessResult RunReportingLibraries(const std::string& net8) {
  ProgramRun run(net8, "u", "p", "UPDATE T SET A = 'x'");
  testing::SqliteSql(run.dir().File("t.db"), "CREATE TABLE T (A TEXT)");
  setenv("LD_DEBUG", "libs", 1);
  const ProcessResult r = run();
  unsetenv("LD_DEBUG");
  return r;
}

// A SQLite run pays nothing for the server clients: neither libpq nor the
// ODBC driver manager is loaded. The server runs show that the check sees them.
TEST(ClientLibraries, OnlyTheChosenBackendLoadsItsClient) {
  struct Case {
    const char* net8;
    bool libpq;
    bool libodbc;
  };
  const Case kCases[] = {
      {"sqlite:t.db", false, false},
      {"pg:dbr_nosuch", true, false},
      {"odbc:dbr_nosuch", false, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.net8);
    const ProcessResult r = RunReportingLibraries(c.net8);
    const std::string& loaded = r.err;
    ASSERT_NE(loaded.find("calling init"), std::string::npos) << "no loader report";
    // The SQLite run did its work; the others fail to connect, after loading.
    EXPECT_EQ(r.exit_code == 0, !c.libpq && !c.libodbc) << r.out;
    EXPECT_EQ(loaded.find("libpq") != std::string::npos, c.libpq);
    EXPECT_EQ(loaded.find("libodbc") != std::string::npos, c.libodbc);
  }
}

}  // namespace
}  // namespace dbrunner
