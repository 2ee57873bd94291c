// The ODBC backend: the driver manager, loaded when the backend connects; a
// data source name with user and password as values of their own; a schema
// switch chosen by the DBMS the driver reports; one statement per
// transaction with autocommit off.
#include "db/odbc_backend.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/backend.h"
#include "db/odbc_api.h"
#include "db/sqlstate.h"

namespace dbrunner {
namespace {

// Statuses: a failure is minus the driver's native error where that is the
// DBMS's own error number, otherwise the SQLSTATE's status (SqlStateStatus:
// five digits give minus the number; with a letter, minus 100000 plus the
// code read in base 36). The first diagnostic record decides.
//
//   DBMS (SQL_DBMS_NAME)  status
//   --------------------  ------------------------------------------------------
//   Oracle                minus the ORA number: ORA-00942 -> -942; at connect,
//                         before the DBMS is known, a message naming ORA-n with
//                         native error n (ORA-01017 -> -1017, ORA-12154 -> -12154)
//   SQLite                minus SQLite's primary result code (-1, -5, -19 ...);
//                         the driver's own refusals (native error 0 or less) go
//                         by SQLSTATE
//   anything else         the SQLSTATE (psqlODBC's native errors are its own)
//
// The statuses seen most:
//
//     status  SQLSTATE  cause
//   --------  --------  ------------------------------------------------------
//      -9999  (none)    the driver manager cannot be loaded, or lacks an
//                       entry point
//  -31359522  IM002     no such data source (or "odbc:" with no name)
//      -8001  08001     no connection (psqlODBC: also a wrong password or an
//                       unknown database)
//     -28000  28000     wrong user or password (drivers that say so)
//  -30239776  HY000     general error; SQLite's refusal of two statements
//      -1000  01000     the driver's library cannot be loaded
//  -31359524  IM004     the driver cannot allocate its environment
//      -8003  08003     an operation without a connection
//   -5838688  3F000     schema switch failed (PostgreSQL: current_schema() is
//                       not the schema; any DBMS: the name is not a plain
//                       identifier)
//     -42000  42000     a text of two statements (refused and rolled back), or
//                       one holding a NUL byte
//  -30240100  HY090     a connection value or statement too long for ODBC
//
// PostgreSQL errors keep their SQLSTATE (42601, 23505, 23503 ...), as with the
// PostgreSQL backend.

using odbc::Api;

// A login that takes longer than this is given up (drivers that support it).
constexpr std::uintptr_t kLoginTimeoutSeconds = 30;
// Diagnostic records gathered into LastError.
constexpr odbc::SmallInt kMaxDiagRecords = 8;

enum class Dbms { kOracle, kPostgres, kSqlite, kOther };

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

Dbms DbmsOf(std::string_view name) {
  if (EqualsIgnoringCase(name, "Oracle")) return Dbms::kOracle;
  if (EqualsIgnoringCase(name, "PostgreSQL")) return Dbms::kPostgres;
  if (EqualsIgnoringCase(name, "SQLite")) return Dbms::kSqlite;
  return Dbms::kOther;
}

// True when `message` names "ORA-" followed by the number `native` (Oracle
// writes it with leading zeros: ORA-01017).
bool NamesOraNumber(std::string_view message, std::int32_t native) {
  for (std::size_t at = message.find("ORA-"); at != std::string_view::npos;
       at = message.find("ORA-", at + 1)) {
    std::int64_t number = 0;
    std::size_t digits = 0;
    for (std::size_t i = at + 4; i < message.size() && digits < 9; ++i, ++digits) {
      if (message[i] < '0' || message[i] > '9') break;
      number = number * 10 + (message[i] - '0');
    }
    if (digits > 0 && number == native) return true;
  }
  return false;
}

// An ODBC handle of one type, freed with the driver manager that made it.
class OdbcHandle {
 public:
  OdbcHandle() = default;
  OdbcHandle(const Api* api, odbc::SmallInt type, odbc::Handle handle)
      : api_(api), type_(type), handle_(handle) {}
  ~OdbcHandle() { Reset(); }
  OdbcHandle(OdbcHandle&& other) noexcept
      : api_(other.api_), type_(other.type_), handle_(std::exchange(other.handle_, nullptr)) {}
  OdbcHandle& operator=(OdbcHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      api_ = other.api_;
      type_ = other.type_;
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }

  odbc::Handle get() const { return handle_; }
  odbc::SmallInt type() const { return type_; }
  void Reset() {
    if (handle_ != nullptr) api_->SQLFreeHandle(type_, handle_);
    handle_ = nullptr;
  }

 private:
  const Api* api_ = nullptr;
  odbc::SmallInt type_ = 0;
  odbc::Handle handle_ = nullptr;
};

class OdbcBackend final : public Backend {
 public:
  explicit OdbcBackend(std::vector<std::string> client_library_names)
      : client_library_names_(std::move(client_library_names)) {}
  ~OdbcBackend() override { Disconnect(); }

  // `target` is a data source name, configured for the driver manager
  // (odbc.ini, or the ODBC Data Sources of Windows). User and password go to
  // SQLConnect as values of their own; drivers take the data source's own
  // where they are empty.
  std::int32_t Connect(std::string_view user, std::string_view password,
                       std::string_view target) override {
    Disconnect();
    if (!api_) {
      std::string error;
      api_ = odbc::Load(client_library_names_, &error);
      if (!api_) return Fail(kStatusClientUnavailable, "ODBC driver manager unavailable: " + error);
    }
    // The driver manager would connect to the DEFAULT data source instead.
    if (target.empty())
      return Fail(SqlStateStatus("IM002"), "no data source named after \"odbc:\"");
    for (std::string_view value : {user, password, target}) {
      if (value.find('\0') != std::string_view::npos ||
          value.size() > static_cast<std::size_t>(std::numeric_limits<odbc::SmallInt>::max())) {
        return Fail(SqlStateStatus("HY090"), "a connection value is too long or holds a NUL byte");
      }
    }

    odbc::Handle raw = nullptr;
    if (!odbc::Succeeded(api_->SQLAllocHandle(odbc::kHandleEnv, nullptr, &raw))) {
      return Fail(SqlStateStatus("HY000"), "cannot allocate an ODBC environment");
    }
    env_ = OdbcHandle(api_.get(), odbc::kHandleEnv, raw);
    if (!odbc::Succeeded(api_->SQLSetEnvAttr(env_.get(), odbc::kAttrOdbcVersion,
                                             reinterpret_cast<void*>(odbc::kOdbcVersion3), 0))) {
      return FailDiag(env_, "ODBC 3");
    }
    raw = nullptr;
    if (!odbc::Succeeded(api_->SQLAllocHandle(odbc::kHandleDbc, env_.get(), &raw))) {
      return FailDiag(env_, "connection handle");
    }
    dbc_ = OdbcHandle(api_.get(), odbc::kHandleDbc, raw);
    // Only the login is bounded: SQL_ATTR_CONNECTION_TIMEOUT would also cut
    // short a commit that legitimately takes long. A driver without login
    // timeouts still connects.
    static_cast<void>(api_->SQLSetConnectAttr(dbc_.get(), odbc::kAttrLoginTimeout,
                                              reinterpret_cast<void*>(kLoginTimeoutSeconds),
                                              odbc::kIsUInteger));

    std::string dsn(target);
    std::string user_text(user);
    std::string password_text(password);
    const odbc::Return rc =
        api_->SQLConnect(dbc_.get(), Bytes(dsn), Length(dsn), Bytes(user_text), Length(user_text),
                         Bytes(password_text), Length(password_text));
    if (!odbc::Succeeded(rc)) return FailDiag(dbc_, "connect");
    connected_ = true;
    dbms_ = DbmsName();
    return 0;
  }

  // The schema switch by DBMS: see OdbcSchemaStatement. It runs before
  // autocommit is switched off, so it holds for the session whatever becomes
  // of the transaction.
  std::int32_t SetSchema(std::string_view schema) override {
    if (!connected_) return Fail(kStatusNotConnected, "not connected");
    const Dbms dbms = DbmsOf(dbms_);
    if (dbms == Dbms::kSqlite) return 0;
    if (!IsPlainIdentifier(schema)) {
      return Fail(kStatusSchemaNotSet,
                  "schema name \"" + std::string(schema) + "\" is not a plain identifier");
    }
    OdbcHandle stmt;
    std::int32_t status = Run(OdbcSchemaStatement(dbms_, schema), &stmt);
    if (status != 0 || dbms != Dbms::kPostgres) return status;

    // PostgreSQL accepts a search_path naming a schema that does not exist or
    // that the user may not use; current_schema() is then null.
    status = Run("SELECT current_schema()", &stmt);
    if (status != 0) return status;
    std::string current;
    if (!FetchText(stmt, &current) || current != FoldedIdentifier(schema)) {
      return Fail(kStatusSchemaNotSet, "schema \"" + FoldedIdentifier(schema) +
                                           "\" does not exist or the user may not use it");
    }
    return 0;
  }

  // Runs `statement` inside a transaction that only Commit ends. Exactly one
  // statement: where the driver runs a text of two (psqlODBC does), the second
  // result gives it away, and the text is refused (-42000); Commit then rolls
  // everything back. An UPDATE that matches no row is a success.
  std::int32_t Execute(std::string_view statement) override {
    if (!connected_) return Fail(kStatusNotConnected, "not connected");
    const std::int32_t status = ExecuteInTransaction(statement);
    // The first failure decides the transaction: Commit will roll it back.
    if (status != 0 && failed_status_ == 0) failed_status_ = status;
    return status;
  }

  // Commits the work since the last Commit. After a failed Execute it rolls
  // back instead and returns that Execute's status; a failed commit (a
  // deferred constraint) is rolled back too, so the driver can disconnect.
  std::int32_t Commit() override {
    if (failed_status_ != 0) {
      const std::int32_t status = failed_status_;
      failed_status_ = 0;
      Rollback();
      return status;  // LastError still holds the Execute's message
    }
    if (!connected_) return Fail(kStatusNotConnected, "not connected");
    if (!in_transaction_) return 0;
    if (!odbc::Succeeded(api_->SQLEndTran(odbc::kHandleDbc, dbc_.get(), odbc::kCommit))) {
      const std::int32_t status = FailDiag(dbc_, "commit");
      Rollback();
      return status;
    }
    in_transaction_ = false;
    return 0;
  }

  std::string LastError() const override { return last_error_; }

 private:
  std::int32_t ExecuteInTransaction(std::string_view statement) {
    if (!manual_commit_) {
      if (!odbc::Succeeded(api_->SQLSetConnectAttr(dbc_.get(), odbc::kAttrAutocommit,
                                                   reinterpret_cast<void*>(odbc::kAutocommitOff),
                                                   odbc::kIsUInteger))) {
        return FailDiag(dbc_, "autocommit off");
      }
      manual_commit_ = true;
    }
    in_transaction_ = true;
    if (statement.find('\0') != std::string_view::npos) {
      // The driver would read the text only up to the NUL.
      return Fail(SqlStateStatus("42000"), "the statement holds a NUL byte");
    }
    OdbcHandle stmt;
    const std::int32_t status = Run(std::string(statement), &stmt);
    if (status != 0) return status;
    const odbc::Return more = api_->SQLMoreResults(stmt.get());
    if (more == odbc::kNoData) return 0;
    if (!odbc::Succeeded(more)) return FailDiag(stmt, "execute");
    return Fail(SqlStateStatus("42000"),
                "the text holds more than one statement: only one is executed");
  }

  // Prepares and executes `sql` on a new statement handle left in `*stmt`.
  // SQL_NO_DATA (an UPDATE or DELETE that matched no row) is a success.
  std::int32_t Run(const std::string& sql, OdbcHandle* stmt) {
    if (sql.size() > static_cast<std::size_t>(std::numeric_limits<odbc::Integer>::max())) {
      return Fail(SqlStateStatus("HY090"), "statement text too long");
    }
    odbc::Handle raw = nullptr;
    if (!odbc::Succeeded(api_->SQLAllocHandle(odbc::kHandleStmt, dbc_.get(), &raw))) {
      return FailDiag(dbc_, "statement handle");
    }
    *stmt = OdbcHandle(api_.get(), odbc::kHandleStmt, raw);
    std::string text = sql;
    if (!odbc::Succeeded(
            api_->SQLPrepare(stmt->get(), Bytes(text), static_cast<odbc::Integer>(text.size())))) {
      return FailDiag(*stmt, "prepare");
    }
    const odbc::Return rc = api_->SQLExecute(stmt->get());
    if (rc != odbc::kNoData && !odbc::Succeeded(rc)) return FailDiag(*stmt, "execute");
    return 0;
  }

  // The first column of the next row as text; false when there is no row or
  // the value is null.
  bool FetchText(const OdbcHandle& stmt, std::string* text) {
    if (!odbc::Succeeded(api_->SQLFetch(stmt.get()))) return false;
    char buffer[256] = {};
    odbc::Len indicator = 0;
    if (!odbc::Succeeded(
            api_->SQLGetData(stmt.get(), 1, odbc::kCChar, buffer, sizeof buffer, &indicator)) ||
        indicator == odbc::kNullData) {
      return false;
    }
    *text = buffer;
    return true;
  }

  std::string DbmsName() {
    char name[256] = {};
    odbc::SmallInt length = 0;
    if (!odbc::Succeeded(api_->SQLGetInfo(dbc_.get(), odbc::kInfoDbmsName, name,
                                          static_cast<odbc::SmallInt>(sizeof name), &length))) {
      return {};
    }
    return name;
  }

  // The status and messages of the diagnostic records on `handle`.
  std::int32_t FailDiag(const OdbcHandle& handle, std::string_view what) {
    std::int32_t status = 0;
    std::string messages;
    for (odbc::SmallInt record = 1; record <= kMaxDiagRecords; ++record) {
      odbc::Char sqlstate[6] = {};
      odbc::Integer native = 0;
      odbc::Char text[1024] = {};
      odbc::SmallInt length = 0;
      if (!odbc::Succeeded(
              api_->SQLGetDiagRec(handle.type(), handle.get(), record, sqlstate, &native, text,
                                  static_cast<odbc::SmallInt>(sizeof text), &length))) {
        break;
      }
      const std::string_view state(reinterpret_cast<const char*>(sqlstate));
      const std::string_view message(reinterpret_cast<const char*>(text));
      if (record == 1) status = OdbcStatus(dbms_, state, native, message);
      if (!messages.empty()) messages += "; ";
      messages += std::string(state) + " (" + std::to_string(native) + ") " + std::string(message);
    }
    if (status == 0) {
      status = SqlStateStatus("HY000");
      messages = "no diagnostic record";
    }
    return Fail(status, std::string(what) + " failed: " + messages);
  }

  std::int32_t Fail(std::int32_t status, std::string message) {
    last_error_ = std::move(message);
    return status;
  }

  // Errors of the rollback itself are not reported: disconnecting discards
  // the transaction at the latest.
  void Rollback() {
    if (connected_ && in_transaction_) {
      static_cast<void>(api_->SQLEndTran(odbc::kHandleDbc, dbc_.get(), odbc::kRollback));
    }
    in_transaction_ = false;
  }

  // Rolls back first: drivers refuse to disconnect with a transaction open.
  void Disconnect() {
    Rollback();
    if (connected_) static_cast<void>(api_->SQLDisconnect(dbc_.get()));
    connected_ = false;
    manual_commit_ = false;
    dbc_.Reset();
    env_.Reset();
    dbms_.clear();
    failed_status_ = 0;
  }

  static odbc::Char* Bytes(std::string& text) { return reinterpret_cast<odbc::Char*>(text.data()); }
  static odbc::SmallInt Length(const std::string& text) {
    return static_cast<odbc::SmallInt>(text.size());
  }

  std::vector<std::string> client_library_names_;
  std::unique_ptr<Api> api_;  // declared before the handles: outlives them
  OdbcHandle env_;
  OdbcHandle dbc_;
  bool connected_ = false;
  bool manual_commit_ = false;   // autocommit switched off
  bool in_transaction_ = false;  // Execute ran since the last commit or rollback
  std::string dbms_;             // SQL_DBMS_NAME of the connected DBMS
  std::int32_t failed_status_ = 0;
  std::string last_error_;
};

}  // namespace

std::int32_t OdbcStatus(std::string_view dbms_name, std::string_view sqlstate, std::int32_t native,
                        std::string_view message) {
  if (native > 0) {
    const Dbms dbms = DbmsOf(dbms_name);
    if (dbms == Dbms::kOracle || dbms == Dbms::kSqlite) return -native;
    if (dbms_name.empty() && NamesOraNumber(message, native)) return -native;
  }
  return SqlStateStatus(sqlstate);
}

std::string OdbcSchemaStatement(std::string_view dbms_name, std::string_view schema) {
  const std::string name(schema);
  switch (DbmsOf(dbms_name)) {
    case Dbms::kOracle:
      return "ALTER SESSION SET CURRENT_SCHEMA=" + name;
    case Dbms::kPostgres:
      return "SET search_path TO " + name;
    case Dbms::kSqlite:
      return {};  // a database file has one schema
    case Dbms::kOther:
      break;
  }
  // The SQL standard's statement. A DBMS that refuses it fails the schema
  // switch, rather than running the statement against some other schema.
  return "SET SCHEMA " + name;
}

std::unique_ptr<Backend> NewOdbcBackend(std::vector<std::string> client_library_names) {
  return std::make_unique<OdbcBackend>(std::move(client_library_names));
}

std::unique_ptr<Backend> NewOdbcBackend() { return NewOdbcBackend(odbc::DefaultLibraryNames()); }

}  // namespace dbrunner
