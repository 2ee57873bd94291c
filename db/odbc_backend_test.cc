// Tests of the ODBC backend: its rules per DBMS, a missing driver manager, and
// sessions through unixODBC with the PostgreSQL and SQLite drivers.
#include "db/odbc_backend.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>

#include "db/backend.h"
#include "db/dbrunner_sql.h"
#include "db/sqlhlp.h"
#include "db/sqlstate.h"
#include "tests/test_server.h"

// psqlODBC 13.02 itself leaks 336 bytes when the server refuses a statement's
// syntax (a plain C program shows it too); the leak checker of the sanitizer
// build is not to count that against this program.
extern "C" const char* __lsan_default_suppressions() { return "leak:psqlodbcw.so\n"; }

namespace dbrunner {
namespace {

using testing::kInitialRows;

TEST(OdbcStatus, NativeErrorOnlyWhereItIsTheDatabasesOwn) {
  struct Case {
    const char* label;
    const char* dbms;
    const char* sqlstate;
    std::int32_t native;
    const char* message;
    std::int32_t status;
  };
  const Case kCases[] = {
      {"Oracle: the ORA number", "Oracle", "42S02", 942,
       "[Oracle][ODBC][Ora]ORA-00942: table or view does not exist", -942},
      {"Oracle, any spelling of the name", "ORACLE", "23000", 1, "ORA-00001: unique", -1},
      {"SQLite: its result code", "SQLite", "HY000", 19, "constraint failed", -19},
      {"SQLite driver's own refusal", "SQLite", "HY000", -1, "only one SQL statement allowed",
       -30239776},
      {"psqlODBC: its own codes are not used", "PostgreSQL", "23505", 1, "duplicate key", -23505},
      {"connect: an Oracle driver's ORA number", "", "28000", 1017,
       "[Oracle][ODBC][Ora]ORA-01017: invalid username/password; logon denied", -1017},
      {"connect: another number than the message's", "", "08001", 101, "ORA-01017", -8001},
      {"connect: psqlODBC", "", "08001", 101, "FATAL: password authentication failed", -8001},
      {"driver manager", "", "IM002", 0, "Data source name not found", -31359522},
      {"other DBMS", "Microsoft SQL Server", "23000", 2627, "Violation of PRIMARY KEY", -23000},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(OdbcStatus(c.dbms, c.sqlstate, c.native, c.message), c.status);
  }
}

TEST(OdbcSchemaStatement, ChosenByDbms) {
  struct Case {
    const char* dbms;
    const char* statement;
  };
  const Case kCases[] = {
      {"Oracle", "ALTER SESSION SET CURRENT_SCHEMA=ZIZIVUZA"},
      {"PostgreSQL", "SET search_path TO ZIZIVUZA"},
      {"SQLite", ""},
      {"DB2/LINUXX8664", "SET SCHEMA ZIZIVUZA"},
      {"", "SET SCHEMA ZIZIVUZA"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.dbms);
    EXPECT_EQ(OdbcSchemaStatement(c.dbms, "ZIZIVUZA"), c.statement);
  }
}

TEST(OdbcBackend, DriverManagerThatDoesNotLoadIsUnavailable) {
  struct Case {
    const char* library;
    const char* message;
  };
  const Case kCases[] = {
      {"libdbrunner-no-such-odbc.so.2", "libdbrunner-no-such-odbc.so.2"},
      {"libc.so.6", "libc.so.6 lacks SQLAllocHandle, SQLFreeHandle"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.library);
    std::unique_ptr<Backend> backend = NewOdbcBackend({c.library});
    EXPECT_EQ(backend->Connect("u", "p", "dsn"), kStatusClientUnavailable);
    EXPECT_NE(backend->LastError().find(c.message), std::string::npos) << backend->LastError();
    EXPECT_EQ(backend->Execute("SELECT 1"), kStatusNotConnected);
  }
}

// Statements on each data source. Rows are those of testing::PgRows or
// testing::SqliteRows.
class OdbcBackendTest : public testing::ServerTest {
 protected:
  struct Source {
    const char* dsn;
    const char* user;
    std::string (*rows)(const testing::TestServer&);
  };
  static std::string PgRows(const testing::TestServer& server) { return testing::PgRows(server); }
  static std::string SqliteRows(const testing::TestServer& server) {
    return testing::SqliteRows(server.sqlite_db);
  }

  struct Case {
    const char* label;
    const char* statement;
    std::int32_t execute;
    std::int32_t commit;
    const char* rows;
  };
  void RunCases(const Source& source, const Case* cases, std::size_t count) {
    std::unique_ptr<Backend> backend = NewOdbcBackend();
    ASSERT_EQ(backend->Connect(source.user, server_.password, source.dsn), 0)
        << backend->LastError();
    ASSERT_EQ(backend->SetSchema("ZIZIVUZA"), 0) << backend->LastError();
    for (std::size_t i = 0; i < count; ++i) {
      const Case& c = cases[i];
      SCOPED_TRACE(c.label);
      ASSERT_NO_FATAL_FAILURE(testing::ResetPgRows(server_));
      ASSERT_NO_FATAL_FAILURE(testing::ResetSqliteDb(server_.sqlite_db));
      EXPECT_EQ(backend->Execute(c.statement), c.execute) << backend->LastError();
      EXPECT_EQ(backend->Commit(), c.commit) << backend->LastError();
      EXPECT_EQ(source.rows(server_), c.rows);
    }
  }
};

TEST_F(OdbcBackendTest, PostgreSqlDriver) {
  const char* kUpdated = "1=x|2=b|17=q;1:1";
  const Case kCases[] = {
      {"update", "UPDATE T SET A = 'x' WHERE ID = 1", 0, 0, kUpdated},
      {"no row matched", "UPDATE T SET A = 'x' WHERE ID = 99", 0, 0, kInitialRows},
      {"rows of a query are ignored", "SELECT * FROM T", 0, 0, kInitialRows},
      {"second statement refused", "UPDATE T SET A = 'x' WHERE ID = 1; UPDATE T SET A = 'y'",
       -42000, -42000, kInitialRows},
      {"syntax error", "UPDATE T SET", -42601, -42601, kInitialRows},
      {"unique", "UPDATE T SET U = 'same'", -23505, -23505, kInitialRows},
      {"deferred foreign key fails at commit", "UPDATE CHILD SET P = 2", 0, -23503, kInitialRows},
  };
  RunCases({"dbr_pg", "dbr_user", PgRows}, kCases, std::size(kCases));
}

TEST_F(OdbcBackendTest, SqliteDriver) {
  const char* kUpdated = "1=x|2=b|17=q;1:1";
  const Case kCases[] = {
      {"update", "UPDATE T SET A = 'x' WHERE ID = 1", 0, 0, kUpdated},
      {"no row matched", "UPDATE T SET A = 'x' WHERE ID = 99", 0, 0, kInitialRows},
      {"second statement refused", "UPDATE T SET A = 'x' WHERE ID = 1; UPDATE T SET A = 'y'",
       SqlStateStatus("HY000"), SqlStateStatus("HY000"), kInitialRows},
      {"unique", "UPDATE T SET U = 'same'", -19, -19, kInitialRows},
      {"deferred foreign key fails at commit", "UPDATE CHILD SET P = 2", 0, -19, kInitialRows},
  };
  RunCases({"dbr_sqlite", "", SqliteRows}, kCases, std::size(kCases));
}

// The PostgreSQL rule through ODBC: a schema that does not take is a failure.
TEST_F(OdbcBackendTest, PostgreSqlSchemaIsChecked) {
  struct Login {
    const char* dsn;
    const char* user;
    std::int32_t set_schema;
  };
  const Login kCases[] = {
      {"dbr_pg_tcp", "dbr_user", 0},
      {"dbr_pg_noschema", "dbr_user", kStatusSchemaNotSet},
      {"dbr_pg", "dbr_nousage", kStatusSchemaNotSet},
  };
  for (const Login& c : kCases) {
    SCOPED_TRACE(std::string(c.dsn) + " as " + c.user);
    std::unique_ptr<Backend> backend = NewOdbcBackend();
    ASSERT_EQ(backend->Connect(c.user, server_.password, c.dsn), 0) << backend->LastError();
    EXPECT_EQ(backend->SetSchema("ZIZIVUZA"), c.set_schema) << backend->LastError();
  }
}

// The whole session: nothing is visible before the commit.
TEST_F(OdbcBackendTest, SessionCommitsUpdate) {
  DbSession session;  // the real backend choice
  ASSERT_EQ(dbConnect(session, "dbr_user", server_.password, "odbc:dbr_pg", "ZIZIVUZA"), 0)
      << session.backend->LastError();
  EXPECT_EQ(dbExecute(session, " UPDATE T SET A = 'x' WHERE ID = 17"), 0);
  EXPECT_EQ(testing::PgRows(server_), kInitialRows);
  EXPECT_EQ(dbCommit(session), 1);
  EXPECT_EQ(testing::PgRows(server_), "1=a|2=b|17=x;1:1");
}

}  // namespace
}  // namespace dbrunner
