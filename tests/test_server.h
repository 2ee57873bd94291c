// The PostgreSQL server and ODBC data sources that scripts/pg-test-server
// sets up, as the tests find them through its environment variables, and
// their test data.
#ifndef DBRUNNER_TESTS_TEST_SERVER_H_
#define DBRUNNER_TESTS_TEST_SERVER_H_

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "tests/test_util.h"

namespace dbrunner::testing {

// What scripts/pg-test-server made. Services (pg_service.conf) and data
// sources (odbc.ini) are named in the script; every role's password is
// `password`.
struct TestServer {
  std::string dir;        // the socket directory
  std::string port;       // where the server listens
  std::string dead_port;  // where nothing listens
  std::string password;   // holds / @ ; blank quotes = backslash braces
  std::string sqlite_db;  // the file of the dbr_sqlite data source
  std::string psql;       // the psql program
};

inline std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The server, or nothing when the script's variables are not set.
inline std::optional<TestServer> FindTestServer() {
  TestServer server{Env("DBRUNNER_TEST_PG"),
                    Env("DBRUNNER_TEST_PG_PORT"),
                    Env("DBRUNNER_TEST_PG_DEAD_PORT"),
                    Env("DBRUNNER_TEST_PG_PASSWORD"),
                    Env("DBRUNNER_TEST_ODBC_SQLITE_DB"),
                    Env("DBRUNNER_TEST_PSQL")};
  if (server.dir.empty() || server.port.empty() || server.psql.empty()) return std::nullopt;
  return server;
}

// The first rows of the tables, as Rows() shows them: T's ID=A, then CHILD's ID:P.
inline constexpr char kInitialRows[] = "1=a|2=b|17=q;1:1";

// Runs `sql` as the superuser on `database`: the rows, one per line, columns
// joined by "|"; "ERROR: ..." on failure.
inline std::string AdminSql(const TestServer& server, const std::string& database,
                            const std::string& sql) {
  ProcessResult r =
      RunProcess({server.psql, "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-h", server.dir,
                  "-p", server.port, "-U", "postgres", "-d", database, "-c", sql},
                 server.dir);
  if (r.exit_code != 0) return "ERROR: " + r.err;
  while (!r.out.empty() && r.out.back() == '\n') r.out.pop_back();
  return r.out;
}

inline constexpr char kPgRowsQuery[] =
    "SELECT (SELECT string_agg(id || '=' || a, '|' ORDER BY id) FROM zizivuza.t) || ';' ||"
    "       (SELECT string_agg(id || ':' || p, '|' ORDER BY id) FROM zizivuza.child)";

inline void ResetPgRows(const TestServer& server) {
  ASSERT_EQ(AdminSql(server, "dbr_test",
                     std::string("TRUNCATE zizivuza.child, zizivuza.parent, zizivuza.t;"
                                 "INSERT INTO zizivuza.t VALUES (1, 'a', 'u1'), (2, 'b', 'u2'),"
                                 "  (17, 'q', 'u17');"
                                 "INSERT INTO zizivuza.parent VALUES (1);"
                                 "INSERT INTO zizivuza.child VALUES (1, 1);") +
                         kPgRowsQuery),
            kInitialRows);
}

inline std::string PgRows(const TestServer& server) {
  return AdminSql(server, "dbr_test", kPgRowsQuery);
}

// The rows of the dbr_sqlite data source's file, as PgRows shows them;
// "ERROR: ..." when it cannot be read.
inline std::string SqliteSql(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  std::string result;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) ==
      SQLITE_OK) {
    auto collect = [](void* text, int, char** values, char**) {
      static_cast<std::string*>(text)->append(values[0] != nullptr ? values[0] : "NULL");
      return 0;
    };
    char* error = nullptr;
    if (sqlite3_exec(db, sql, collect, &result, &error) != SQLITE_OK) {
      result = std::string("ERROR: ") + (error != nullptr ? error : "");
    }
    sqlite3_free(error);
  } else {
    result = std::string("ERROR: ") + sqlite3_errmsg(db);
  }
  sqlite3_close(db);
  return result;
}

inline std::string SqliteRows(const std::string& path) {
  return SqliteSql(
      path,
      "SELECT (SELECT group_concat(ID || '=' || A, '|') FROM (SELECT * FROM T ORDER BY "
      "ID)) || ';' || (SELECT group_concat(ID || ':' || P, '|') FROM CHILD)");
}

// The same tables as on the server, in the data source's file, made anew. The
// file stays: a connection that has it open would find a replaced file
// read-only.
inline void ResetSqliteDb(const std::string& path) {
  ASSERT_EQ(SqliteSql(path,
                      "DROP TABLE IF EXISTS CHILD; DROP TABLE IF EXISTS PARENT;"
                      "DROP TABLE IF EXISTS T;"
                      "CREATE TABLE T (ID INTEGER PRIMARY KEY, A TEXT NOT NULL, U TEXT UNIQUE);"
                      "INSERT INTO T VALUES (1, 'a', 'u1'), (2, 'b', 'u2'), (17, 'q', 'u17');"
                      "CREATE TABLE PARENT (ID INTEGER PRIMARY KEY);"
                      "CREATE TABLE CHILD (ID INTEGER PRIMARY KEY,"
                      "  P INTEGER REFERENCES PARENT (ID) DEFERRABLE INITIALLY DEFERRED);"
                      "INSERT INTO PARENT VALUES (1); INSERT INTO CHILD VALUES (1, 1);"),
            "");
  ASSERT_EQ(SqliteRows(path), kInitialRows);
}

// A fixture for tests that need the server. Without it they are skipped, but
// on CI (CI=true) they fail: a CI run must never pass without them.
class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::optional<TestServer> found = FindTestServer();
    if (!found) {
      const char* kWhy = "no test server: run eval \"$(scripts/pg-test-server start)\" first";
      if (Env("CI") == "true") FAIL() << kWhy;
      GTEST_SKIP() << kWhy;
    }
    server_ = *found;
    ASSERT_NO_FATAL_FAILURE(ResetPgRows(server_));
    ASSERT_NO_FATAL_FAILURE(ResetSqliteDb(server_.sqlite_db));
  }

  TestServer server_;
};

}  // namespace dbrunner::testing

#endif  // DBRUNNER_TESTS_TEST_SERVER_H_
