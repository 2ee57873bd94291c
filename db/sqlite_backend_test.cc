// Tests of the SQLite backend against real database files.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "db/backend.h"
#include "db/dbrunner_sql.h"
#include "db/sqlhlp.h"
#include "tests/test_util.h"

namespace dbrunner {
namespace {

using testing::ScopedTempDir;

// t has every kind of constraint; child's foreign key is checked at commit.
constexpr char kSchema[] =
    "CREATE TABLE t(id INTEGER PRIMARY KEY, a INTEGER NOT NULL CHECK (a >= 0), u TEXT UNIQUE);"
    "INSERT INTO t VALUES (1, 10, 'x'), (2, 20, 'y');"
    "CREATE TABLE parent(id INTEGER PRIMARY KEY);"
    "CREATE TABLE child(id INTEGER PRIMARY KEY,"
    "  p INTEGER REFERENCES parent(id) DEFERRABLE INITIALLY DEFERRED);"
    "INSERT INTO parent VALUES (1);"
    "INSERT INTO child VALUES (1, 1);";
constexpr char kInitialRows[] = "1:10:x 2:20:y|1:1";
constexpr char kUpdatedRows[] = "1:11:x 2:20:y|1:1";
constexpr char kRowsQuery[] =
    "SELECT (SELECT group_concat(id || ':' || a || ':' || u, ' ') FROM t) || '|' ||"
    "       (SELECT group_concat(id || ':' || p, ' ') FROM child)";

// A connection of the test's own, beside the backend's; it never waits.
class TestConnection {
 public:
  explicit TestConnection(const std::string& path) {
    sqlite3* raw = nullptr;
    rc_ = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    db_.reset(raw);
  }
  // SQLite's result code of running `sql`.
  int Exec(const char* sql) {
    return rc_ != SQLITE_OK ? rc_ : sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr);
  }
  // The first column of the first row of `sql`, empty on failure.
  std::string Text(const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (rc_ != SQLITE_OK || sqlite3_prepare_v2(db_.get(), sql, -1, &raw, nullptr) != SQLITE_OK) {
      return {};
    }
    std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> stmt(raw, sqlite3_finalize);
    if (sqlite3_step(stmt.get()) != SQLITE_ROW) return {};
    const unsigned char* text = sqlite3_column_text(stmt.get(), 0);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "";
  }

 private:
  int rc_ = SQLITE_OK;
  std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db_{nullptr, sqlite3_close};
};

std::string Rows(const std::string& path) { return TestConnection(path).Text(kRowsQuery); }

// True when another connection can take the write lock at once: the backend
// holds no transaction open.
bool CanWrite(const std::string& path) {
  TestConnection other(path);
  return other.Exec("BEGIN IMMEDIATE") == SQLITE_OK && other.Exec("ROLLBACK") == SQLITE_OK;
}

class SqliteBackendTest : public ::testing::Test {
 protected:
  void SetUp() override { CreateDatabase(); }

  void CreateDatabase() {
    std::filesystem::remove(path_);
    ASSERT_EQ(TestConnection(path_).Exec(kSchema), SQLITE_OK);
    ASSERT_EQ(Rows(path_), kInitialRows);
  }

  std::unique_ptr<Backend> Connected() {
    std::unique_ptr<Backend> backend = NewSqliteBackend();
    EXPECT_EQ(backend->Connect("", "", path_), 0) << backend->LastError();
    return backend;
  }

  ScopedTempDir dir_;
  std::string path_ = dir_.File("k.db");
};

// The whole session on a path relative to the working directory: the update
// is invisible to others until the commit, and then really stored.
TEST_F(SqliteBackendTest, SessionCommitsUpdate) {
  const std::filesystem::path old_cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  DbSession session;  // the real backend choice
  EXPECT_EQ(dbConnect(session, "scott", "tiger", "sqlite:k.db", "ZIZIVUZA"), 0);
  EXPECT_EQ(dbExecute(session, " UPDATE t SET a = 11 WHERE id = 1"), 0);
  EXPECT_EQ(Rows(path_), kInitialRows);
  std::int32_t status = -1;
  EXPECT_EQ(dbCommit(session, &status), 1);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Rows(path_), kUpdatedRows);
  std::filesystem::current_path(old_cwd);
}

TEST_F(SqliteBackendTest, ExecuteAndCommit) {
  using namespace std::string_literals;
  struct Case {
    const char* label;
    std::string statement;
    std::int32_t execute;
    std::int32_t commit;
    const char* rows;
    const char* message;  // part of LastError after the commit
  };
  const Case kCases[] = {
      {"trailing semicolon", "UPDATE t SET a = 11 WHERE id = 1;", 0, 0, kUpdatedRows, ""},
      {"comment tail", "UPDATE t SET a = 11 WHERE id = 1; -- done\n /* end */ ;\n", 0, 0,
       kUpdatedRows, ""},
      {"rows of a query are ignored", "SELECT * FROM t", 0, 0, kInitialRows, ""},
      {"second statement refused", "UPDATE t SET a = 11 WHERE id = 1; UPDATE t SET a = 99", -1, -1,
       kInitialRows, "only one statement"},
      {"text behind a NUL refused", "UPDATE t SET a = 11 WHERE id = 1\0; DELETE FROM t"s, -1, -1,
       kInitialRows, "only one statement"},
      {"comment only", "  -- nothing\n/* at all */", -1, -1, kInitialRows, "no statement"},
      {"empty", "", -1, -1, kInitialRows, "no statement"},
      {"no such table", "UPDATE nosuch SET a = 1", -1, -1, kInitialRows, "no such table"},
      {"syntax error", "UPDATE t SET", -1, -1, kInitialRows, ""},
      {"unique, after one row changed", "UPDATE t SET u = 'z'", -2067, -2067, kInitialRows,
       "UNIQUE"},
      {"primary key", "UPDATE t SET id = 2 WHERE id = 1", -1555, -1555, kInitialRows, "UNIQUE"},
      {"not null", "UPDATE t SET a = NULL WHERE id = 1", -1299, -1299, kInitialRows, "NOT NULL"},
      {"check", "UPDATE t SET a = -1 WHERE id = 1", -275, -275, kInitialRows, "CHECK"},
      {"deferred foreign key fails at commit", "UPDATE child SET p = 2", 0, -787, kInitialRows,
       "FOREIGN KEY"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    CreateDatabase();
    std::unique_ptr<Backend> backend = Connected();
    EXPECT_EQ(backend->Execute(c.statement), c.execute) << backend->LastError();
    EXPECT_EQ(backend->Commit(), c.commit);
    EXPECT_NE(backend->LastError().find(c.message), std::string::npos) << backend->LastError();
    // Committed or rolled back, but never left open while the session lives.
    EXPECT_TRUE(CanWrite(path_));
    EXPECT_EQ(Rows(path_), c.rows);
  }
}

TEST_F(SqliteBackendTest, ConnectFailures) {
  const std::string missing = dir_.File("missing.db");
  const std::string not_a_database = dir_.File("notes.db");
  std::string text;
  for (int i = 0; i < 20; ++i) text += "plain text, not a database\n";
  testing::WriteFile(not_a_database, text);
  struct Case {
    const char* label;
    std::string target;
    std::int32_t status;
  };
  const Case kCases[] = {
      {"missing file", missing, -14},
      {"URI asking to create", "file:" + missing + "?mode=rwc", -3},
#ifdef _WIN32
      // Windows' file layer tells this failure apart: SQLITE_CANTOPEN_ISDIR.
      {"directory", dir_.path().string(), -526},
#else
      {"directory", dir_.path().string(), -14},
#endif
      {"missing directory", dir_.File("nodir") + "/k.db", -14},
      {"not a database", not_a_database, -26},
      {"no path", "", -14},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    std::unique_ptr<Backend> backend = NewSqliteBackend();
    EXPECT_EQ(backend->Connect("u", "p", c.target), c.status);
    EXPECT_FALSE(backend->LastError().empty());
    EXPECT_EQ(backend->Execute("UPDATE t SET a = 1"), -21);  // SQLITE_MISUSE
    EXPECT_EQ(backend->Commit(), -21);
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("nodir")));
}

// File permissions do not stop root, so the read-only case goes through a URI.
TEST_F(SqliteBackendTest, ReadOnlyDatabase) {
  std::unique_ptr<Backend> backend = NewSqliteBackend();
  ASSERT_EQ(backend->Connect("", "", "file:" + path_ + "?mode=ro"), 0) << backend->LastError();
  EXPECT_EQ(backend->Execute("UPDATE t SET a = 11 WHERE id = 1"), -8);
  EXPECT_EQ(backend->Commit(), -8);
  EXPECT_EQ(Rows(path_), kInitialRows);
}

TEST_F(SqliteBackendTest, WaitsForAnotherWriter) {
  std::promise<void> locked;
  std::thread writer([&] {
    TestConnection other(path_);
    EXPECT_EQ(other.Exec("BEGIN IMMEDIATE"), SQLITE_OK);
    EXPECT_EQ(other.Exec("UPDATE t SET a = 99"), SQLITE_OK);
    locked.set_value();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    other.Exec("ROLLBACK");
  });
  locked.get_future().wait();
  const auto start = std::chrono::steady_clock::now();
  std::unique_ptr<Backend> backend = Connected();
  EXPECT_EQ(backend->Execute("UPDATE t SET a = 11 WHERE id = 1"), 0) << backend->LastError();
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_EQ(backend->Commit(), 0) << backend->LastError();
  writer.join();
  EXPECT_EQ(Rows(path_), kUpdatedRows);
}

TEST_F(SqliteBackendTest, EndWithoutCommitRollsBack) {
  std::unique_ptr<Backend> backend = Connected();
  ASSERT_EQ(backend->Execute("UPDATE t SET a = 11 WHERE id = 1"), 0);
  EXPECT_FALSE(CanWrite(path_));
  backend.reset();
  EXPECT_TRUE(CanWrite(path_));
  EXPECT_EQ(Rows(path_), kInitialRows);
}

TEST_F(SqliteBackendTest, CommitWithNothingExecutedSucceeds) {
  std::unique_ptr<Backend> backend = Connected();
  EXPECT_EQ(backend->Commit(), 0);
  EXPECT_EQ(Rows(path_), kInitialRows);
}

}  // namespace
}  // namespace dbrunner
