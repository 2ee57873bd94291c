// The SQLite backend: an existing database file, one statement per
// transaction, and SQLite's result codes as statuses.
#include <sqlite3.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "db/backend.h"

namespace dbrunner {
namespace {

// Statuses: every SQLite failure is the negated extended result code, so the
// low 8 bits of a status always equal -(primary code) & 255, and a caller can
// tell the cases apart:
//
//   status  SQLite code                     typical cause
//   ------  ------------------------------  -----------------------------------------
//       -1  SQLITE_ERROR                    syntax error, no such table or column;
//                                           also a text of more than one statement or
//                                           of none (refused here, nothing executed)
//       -3  SQLITE_PERM                     "file:" URI asking for more than read-write
//                                           access (mode=rwc: files are never created)
//       -5  SQLITE_BUSY                     database still locked by another connection
//                                           after waiting 5 s
//       -8  SQLITE_READONLY                 read-only file or "file:...?mode=ro"
//    -1544  SQLITE_READONLY_DIRECTORY       file writable, directory not (no journal)
//      -14  SQLITE_CANTOPEN                 missing file or directory, a directory,
//                                           or no path after "sqlite:"
//      -18  SQLITE_TOOBIG                   statement text too long
//      -21  SQLITE_MISUSE                   operation without an open connection
//      -26  SQLITE_NOTADB                   the file is not a database
//     -275  SQLITE_CONSTRAINT_CHECK         CHECK constraint failed
//     -787  SQLITE_CONSTRAINT_FOREIGNKEY    foreign key (deferred ones fail at commit)
//    -1299  SQLITE_CONSTRAINT_NOTNULL       NOT NULL constraint failed
//    -1555  SQLITE_CONSTRAINT_PRIMARYKEY    duplicate primary key
//    -2067  SQLITE_CONSTRAINT_UNIQUE        duplicate in a UNIQUE column
//
// Other codes follow the same rule (e.g. -10 SQLITE_IOERR, -13 SQLITE_FULL).

// A database locked for a moment by another writer is waited for this long.
constexpr int kBusyTimeoutMs = 5000;

struct SqliteCloser {
  void operator()(sqlite3* db) const noexcept { sqlite3_close(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* stmt) const noexcept { sqlite3_finalize(stmt); }
};
using DbHandle = std::unique_ptr<sqlite3, SqliteCloser>;
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Process-wide SQLite settings for a run that opens one connection for one
// statement. They take only before SQLite's first use in the process (SQLite
// refuses them afterwards and nothing changes), hence once:
//  - no memory statistics: they take a global mutex and keep counts on every
//    allocation, a twentieth of a run's instructions, and nothing reads them;
//  - no initial bulk of 20 page-cache slots: it is written through at the
//    first read, a fifth of a run's page faults, where a statement of the
//    batch jobs needs a handful of pages; slots are allocated as needed.
void ConfigureSqliteOnce() {
  static const bool configured = [] {
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
    return true;
  }();
  static_cast<void>(configured);
}

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// True when SQLite would find no statement in `text`: only blanks, ';' and
// comments. Like SQLite, an unterminated /* comment runs to the end of the
// text. A NUL byte is not blank: SQLite stops reading there, so text after it
// would be silently dropped.
bool HoldsNoStatement(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    if (IsBlank(text[i]) || text[i] == ';') {
      ++i;
    } else if (text.compare(i, 2, "--") == 0) {
      i = text.find('\n', i);
      if (i == std::string_view::npos) return true;
    } else if (text.compare(i, 2, "/*") == 0) {
      i = text.find("*/", i + 2);
      if (i == std::string_view::npos) return true;
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

class SqliteBackend final : public Backend {
 public:
  SqliteBackend() = default;
  ~SqliteBackend() override { Disconnect(); }

  // `target` is a file path (relative to the working directory) or a "file:"
  // URI; user and password are not used. The file must exist and be a
  // database: it is opened read-write and never created.
  std::int32_t Connect(std::string_view /*user*/, std::string_view /*password*/,
                       std::string_view target) override {
    Disconnect();
    // SQLite opens a private temporary database for an empty name, and would
    // stop reading a name at a NUL byte.
    if (target.empty() || target.find('\0') != std::string_view::npos) {
      return Fail(-SQLITE_CANTOPEN, "no database file named after \"sqlite:\"");
    }
    const std::string path(target);
    ConfigureSqliteOnce();
    sqlite3* raw = nullptr;
    // Without SQLITE_OPEN_CREATE a missing file fails (-14) instead of
    // appearing empty; a URI's mode=rwc exceeds these flags and SQLite refuses
    // it (-3). SQLite returns a handle even on failure: adopt it at once. The
    // connection is only ever used by the thread that opened it, so it needs
    // no mutex of its own.
    const int rc =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    DbHandle db(raw);
    if (rc != SQLITE_OK) return FailFrom(db.get(), rc);

    sqlite3_extended_result_codes(db.get(), 1);
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    // The open reads nothing: reading the schema here makes a file that is not
    // a database fail now (-26) rather than at the statement. A database that
    // declares foreign keys means them, so they are enforced (off by default).
    for (const char* sql : {"SELECT count(*) FROM sqlite_master", "PRAGMA foreign_keys=ON"}) {
      const std::int32_t status = Run(db.get(), sql);
      if (status != 0) return status;
    }
    db_ = std::move(db);
    return 0;
  }

  // A database file has one schema, so there is nothing to switch.
  std::int32_t SetSchema(std::string_view /*schema*/) override { return 0; }

  // Runs `statement` inside a transaction that only Commit ends. Exactly one
  // statement runs; a text with anything but blanks, comments and ';' after
  // the first statement is refused (-1) and nothing of it runs.
  std::int32_t Execute(std::string_view statement) override {
    if (!db_) return Fail(-SQLITE_MISUSE, "not connected");
    const std::int32_t status = ExecuteInTransaction(statement);
    // The first failure decides the transaction: Commit will roll it back.
    if (status != 0 && failed_status_ == 0) failed_status_ = status;
    return status;
  }

  // Commits the work since the last Commit. After a failed Execute it rolls
  // back instead and returns that Execute's status, so nothing half-done
  // survives. With no open transaction there is nothing to commit: 0.
  std::int32_t Commit() override {
    if (!db_) return Fail(-SQLITE_MISUSE, "not connected");
    if (failed_status_ != 0) {
      const std::int32_t status = failed_status_;
      failed_status_ = 0;
      RollbackIfOpen();
      return status;  // LastError still holds the Execute's message
    }
    if (sqlite3_get_autocommit(db_.get()) != 0) return 0;
    const std::int32_t status = Run(db_.get(), "COMMIT");
    // A failed COMMIT (deferred foreign key -787, busy -5) leaves the
    // transaction open: end it here rather than leave it to the close.
    if (status != 0) RollbackIfOpen();
    return status;
  }

  std::string LastError() const override { return last_error_; }

 private:
  std::int32_t ExecuteInTransaction(std::string_view statement) {
    if (HoldsNoStatement(statement)) return Fail(-SQLITE_ERROR, "no statement to execute");
    if (statement.size() > static_cast<std::size_t>(INT_MAX)) {
      return Fail(-SQLITE_TOOBIG, "statement text too long");
    }
    // BEGIN IMMEDIATE takes the write lock now, where the busy timeout waits
    // for another writer; a deferred BEGIN would have to upgrade a read lock
    // later, which SQLite refuses at once when two connections try it.
    if (sqlite3_get_autocommit(db_.get()) != 0) {
      const std::int32_t status = Run(db_.get(), "BEGIN IMMEDIATE");
      if (status != 0) return status;
    }

    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(db_.get(), statement.data(),
                                      static_cast<int>(statement.size()), &raw, &tail);
    StatementHandle stmt(raw);
    if (rc != SQLITE_OK) return FailFrom(db_.get(), rc);
    if (!stmt) return Fail(-SQLITE_ERROR, "no statement to execute");
    const auto consumed = static_cast<std::size_t>(tail - statement.data());
    if (!HoldsNoStatement(statement.substr(consumed))) {
      return Fail(-SQLITE_ERROR, "text after the first statement (at offset " +
                                     std::to_string(consumed) +
                                     ") refused: only one statement is executed");
    }

    int step = SQLITE_ROW;
    while (step == SQLITE_ROW) step = sqlite3_step(stmt.get());  // rows are not used
    if (step != SQLITE_DONE) return FailFrom(db_.get(), step);
    return 0;
  }

  // Runs a fixed statement of this backend on `db`; 0 or its failure status.
  std::int32_t Run(sqlite3* db, const char* sql) {
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? 0 : FailFrom(db, rc);
  }

  std::int32_t FailFrom(sqlite3* db, int rc) {
    // Only an allocation failure leaves no handle to ask.
    if (db == nullptr) return Fail(-rc, sqlite3_errstr(rc));
    return Fail(-sqlite3_extended_errcode(db), sqlite3_errmsg(db));
  }

  std::int32_t Fail(std::int32_t status, std::string message) {
    last_error_ = std::move(message);
    return status;
  }

  // Errors of the rollback itself are not reported: the close that follows at
  // the latest discards the transaction all the same.
  void RollbackIfOpen() {
    if (db_ && sqlite3_get_autocommit(db_.get()) == 0) {
      sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
  }

  void Disconnect() {
    RollbackIfOpen();
    db_.reset();
    failed_status_ = 0;
  }

  DbHandle db_;
  std::int32_t failed_status_ = 0;  // first failed Execute since the last Commit
  std::string last_error_;
};

}  // namespace

std::unique_ptr<Backend> NewSqliteBackend() { return std::make_unique<SqliteBackend>(); }

}  // namespace dbrunner
