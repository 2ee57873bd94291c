// Tests of the PostgreSQL backend: its reading of libpq's messages, a missing
// client, and sessions on the server of scripts/pg-test-server.
#include "db/postgres_backend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "db/backend.h"
#include "db/dbrunner_sql.h"
#include "db/sqlhlp.h"
#include "db/sqlstate.h"
#include "tests/test_server.h"

namespace dbrunner {
namespace {

using testing::AdminSql;
using testing::kInitialRows;
using testing::PgRows;

TEST(SqlStateInMessage, FindsTheLastServerCode) {
  struct Case {
    const char* message;
    const char* sqlstate;
  };
  const Case kCases[] = {
      {"connection to server on socket \"/tmp/d/.s.PGSQL.54329\" failed: FATAL:  28P01: password "
       "authentication failed for user \"u\"\nLOCATION:  auth_failed, auth.c:323\n",
       "28P01"},
      // Each address tried adds a line; the last one reached the server.
      {"connection to server at \"localhost\" (::1), port 5432 failed: Connection refused\n"
       "connection to server at \"localhost\" (127.0.0.1), port 5432 failed: FATAL:  3D000: "
       "database \"x\" does not exist\n",
       "3D000"},
      {"... failed: SCHWERWIEGEND:  28000: keine Regel\n", "28000"},  // translated severity
      {"connection to server at \"127.0.0.1\", port 1 failed: Connection refused\n", ""},
      {"definition of service \"nosuch\" not found\n", ""},
      {"FATAL:  28P0", ""},
      {"FATAL:  28P01", ""},
      {"FATAL:  abcde: lower case is no code", ""},
      {"", ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(SqlStateInMessage(c.message), c.sqlstate);
  }
}

TEST(PostgresBackend, ClientThatDoesNotLoadIsUnavailable) {
  struct Case {
    const char* library;
    const char* message;
  };
  const Case kCases[] = {
      {"libdbrunner-no-such-client.so.5", "libdbrunner-no-such-client.so.5"},
      {"libc.so.6", "libc.so.6 lacks PQconnectStartParams, PQconnectPoll"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.library);
    std::unique_ptr<Backend> backend = NewPostgresBackend({c.library});
    EXPECT_EQ(backend->Connect("u", "p", "svc"), kStatusClientUnavailable);
    EXPECT_NE(backend->LastError().find(c.message), std::string::npos) << backend->LastError();
    EXPECT_EQ(backend->SetSchema("ZIZIVUZA"), kStatusNotConnected);
    EXPECT_EQ(backend->Execute("SELECT 1"), kStatusNotConnected);
    EXPECT_EQ(backend->Commit(), kStatusNotConnected);
  }
}

class PostgresBackendTest : public testing::ServerTest {
 protected:
  std::string Uri(const std::string& user_part, const std::string& database) const {
    return "postgresql://" + user_part + "127.0.0.1:" + server_.port + "/" + database;
  }

  // Sessions of dbr_user left inside a transaction.
  std::string OpenTransactions() const {
    return AdminSql(server_, "postgres",
                    "SELECT count(*) FROM pg_stat_activity WHERE usename = 'dbr_user' AND state "
                    "LIKE 'idle in transaction%'");
  }
};

// The whole session through a service that names another user: the
// credential's user wins, and the update is invisible until the commit.
TEST_F(PostgresBackendTest, SessionCommitsUpdate) {
  DbSession session;  // the real backend choice
  ASSERT_EQ(dbConnect(session, "dbr_user", server_.password, "pg:dbr_test", "ZIZIVUZA"), 0)
      << session.backend->LastError();
  EXPECT_EQ(dbExecute(session, " UPDATE T SET A = 'x' WHERE ID = 17"), 0);
  EXPECT_EQ(PgRows(server_), kInitialRows);
  std::int32_t status = -1;
  EXPECT_EQ(dbCommit(session, &status), 1);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(PgRows(server_), "1=a|2=b|17=x;1:1");
}

TEST_F(PostgresBackendTest, ExecuteAndCommit) {
  using namespace std::string_literals;
  struct Case {
    const char* label;
    std::string statement;
    std::int32_t execute;
    std::int32_t commit;
    const char* rows;
  };
  const char* kUpdated = "1=x|2=b|17=q;1:1";
  const Case kCases[] = {
      {"trailing semicolon and comment", "UPDATE T SET A = 'x' WHERE ID = 1; -- done", 0, 0,
       kUpdated},
      {"no row matched", "UPDATE T SET A = 'x' WHERE ID = 99", 0, 0, kInitialRows},
      {"rows of a query are ignored", "SELECT * FROM T", 0, 0, kInitialRows},
      {"second statement refused", "UPDATE T SET A = 'x' WHERE ID = 1; DELETE FROM T", -42601,
       -42601, kInitialRows},
      {"text behind a NUL refused", "UPDATE T SET A = 'x' WHERE ID = 1\0; DELETE FROM T"s, -42601,
       -42601, kInitialRows},
      {"comment only", "-- nothing", -42601, -42601, kInitialRows},
      {"syntax error", "UPDATE T SET", -42601, -42601, kInitialRows},
      {"no such table", "UPDATE NOPE SET A = 'x'", SqlStateStatus("42P01"), SqlStateStatus("42P01"),
       kInitialRows},
      {"unique, after one row changed", "UPDATE T SET U = 'same'", -23505, -23505, kInitialRows},
      {"not null", "UPDATE T SET A = NULL WHERE ID = 1", -23502, -23502, kInitialRows},
      {"deferred foreign key fails at commit", "UPDATE CHILD SET P = 2", 0, -23503, kInitialRows},
      {"raised by PL/pgSQL", "DO $$BEGIN RAISE EXCEPTION 'no'; END$$", SqlStateStatus("P0001"),
       SqlStateStatus("P0001"), kInitialRows},
  };
  std::unique_ptr<Backend> backend = NewPostgresBackend();
  ASSERT_EQ(backend->Connect("dbr_user", server_.password, "dbr_test"), 0) << backend->LastError();
  ASSERT_EQ(backend->SetSchema("ZIZIVUZA"), 0) << backend->LastError();
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    ASSERT_NO_FATAL_FAILURE(testing::ResetPgRows(server_));
    EXPECT_EQ(backend->Execute(c.statement), c.execute) << backend->LastError();
    EXPECT_EQ(backend->Commit(), c.commit) << backend->LastError();
    EXPECT_EQ(PgRows(server_), c.rows);
    // Committed or rolled back: the session holds no transaction open.
    EXPECT_EQ(OpenTransactions(), "0");
  }
}

TEST_F(PostgresBackendTest, UriUserAndSchema) {
  struct Case {
    const char* label;
    std::string user;
    std::string target;
    std::int32_t set_schema;
  };
  const Case kCases[] = {
      {"credential user wins over the URI's", "dbr_user", Uri("dbr_nousage@", "dbr_test"), 0},
      {"URI's user without a credential user", "", Uri("dbr_nousage@", "dbr_test"),
       kStatusSchemaNotSet},  // dbr_nousage may not use the schema
      {"database without the schema", "dbr_user", Uri("", "dbr_noschema"), kStatusSchemaNotSet},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    std::unique_ptr<Backend> backend = NewPostgresBackend();
    ASSERT_EQ(backend->Connect(c.user, server_.password, c.target), 0) << backend->LastError();
    EXPECT_EQ(backend->SetSchema("ZIZIVUZA"), c.set_schema) << backend->LastError();
  }
  // The name is put into the statement: only a plain identifier is.
  std::unique_ptr<Backend> backend = NewPostgresBackend();
  ASSERT_EQ(backend->Connect("dbr_user", server_.password, "dbr_test"), 0);
  EXPECT_EQ(backend->SetSchema("zizivuza, public"), kStatusSchemaNotSet);
}

}  // namespace
}  // namespace dbrunner
