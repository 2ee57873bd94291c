// The PostgreSQL backend: libpq, loaded when the backend connects; the schema
// switch through search_path, checked; one statement per transaction, sent
// through the extended protocol; statuses from the SQLSTATE.
#include "db/postgres_backend.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <poll.h>

#include <cerrno>
#endif

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/backend.h"
#include "db/dynamic_library.h"
#include "db/libpq_api.h"
#include "db/sqlstate.h"

namespace dbrunner {
namespace {

// Statuses: every failure the server reports is its SQLSTATE, made a status
// by SqlStateStatus (five digits: minus the number; with a letter: minus
// 100000 plus the code read in base 36). Those seen most, and the ones this
// backend reports itself:
//
//     status  SQLSTATE  cause
//   --------  --------  ------------------------------------------------------
//      -9999  (none)    libpq cannot be loaded, or lacks an entry point
//      -8001  08001     no connection: refused, no such host, socket missing,
//                       30 s without an answer, a service or URI that libpq
//                       rejects (unknown service, bad URI), "pg:" with no name
//   -3864881  28P01     wrong password, or no such user
//   -5745376  3D000     no such database
//   -5838688  3F000     schema switch failed: no such schema, no USAGE on it,
//                       or a schema name that is not a plain identifier
//      -8003  08003     an operation without a connection
//      -8006  08006     the connection broke during an operation
//   -6944177  42P01     no such table
//     -42601  42601     syntax error; also a text of two statements, an empty
//                       one, or one holding a NUL byte (nothing is executed)
//     -42501  42501     permission denied
//     -42703  42703     no such column
//     -23505  23505     unique or primary key violation
//     -23503  23503     foreign key violation (deferred ones fail at commit)
//     -23502  23502     NOT NULL violation
//     -23514  23514     CHECK violation
//     -22012  22012     division by zero
//   -3584946  22P02     invalid input for a type ('abc' for an integer)
//     -40000  40000     COMMIT answered ROLLBACK: the transaction had failed
//     -40001  40001     serialization failure
//   -6850865  40P01     deadlock
//    -566560  0A000     COPY from or to the client (not supported)
//  -42090401  P0001     an exception raised by PL/pgSQL
//  -57066976  XX000     internal error; also a failure without a SQLSTATE

using libpq::Api;

// A connection that takes longer than this is given up.
constexpr int kConnectTimeoutSeconds = 30;

struct ConnFinisher {
  const Api* api;
  void operator()(libpq::Conn* conn) const noexcept { api->PQfinish(conn); }
};
struct ResultClearer {
  const Api* api;
  void operator()(libpq::Result* result) const noexcept { api->PQclear(result); }
};
using ConnHandle = std::unique_ptr<libpq::Conn, ConnFinisher>;
using ResultHandle = std::unique_ptr<libpq::Result, ResultClearer>;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Waits on libpq's socket while it connects.
class SocketWaiter {
 public:
  // False, with the reason in `*error`, when waiting is not possible.
  bool Load(std::string* error) {
#ifdef _WIN32
    // Windows sockets come from ws2_32.dll, which libpq has loaded already;
    // so the program itself imports no DLL beyond the system's core ones.
    if (select_ != nullptr) return true;
    ws2_ = DynamicLibrary::Open({"ws2_32.dll"}, error);
    return ws2_ && ws2_->Resolve("select", &select_);
#else
    static_cast<void>(error);
    return true;
#endif
  }

  // Waits until `socket` can be read or written; false when `deadline`
  // passes first or waiting fails. A socket in error counts as ready: the
  // next PQconnectPoll reports the error.
  bool Wait(int socket, bool for_reading, std::chrono::steady_clock::time_point deadline) const {
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      const long long left_ms = left.count() > 0 ? left.count() : 0;
#ifdef _WIN32
      fd_set ready;
      fd_set failed;
      FD_ZERO(&ready);
      FD_ZERO(&failed);
      FD_SET(static_cast<SOCKET>(socket), &ready);
      // Windows reports a failed connect in the exception set only.
      FD_SET(static_cast<SOCKET>(socket), &failed);
      const timeval timeout{static_cast<long>(left_ms / 1000),
                            static_cast<long>(left_ms % 1000 * 1000)};
      const int rc = select_(0, for_reading ? &ready : nullptr, for_reading ? nullptr : &ready,
                             &failed, &timeout);
      return rc > 0;
#else
      pollfd entry{socket, static_cast<short>(for_reading ? POLLIN : POLLOUT), 0};
      const int rc = poll(&entry, 1, static_cast<int>(left_ms));
      if (rc < 0 && errno == EINTR) continue;
      return rc > 0;
#endif
    }
  }

#ifdef _WIN32
 private:
  std::unique_ptr<DynamicLibrary> ws2_;
  int(WSAAPI* select_)(int, fd_set*, fd_set*, fd_set*, const timeval*) = nullptr;
#endif
};

class PostgresBackend final : public Backend {
 public:
  explicit PostgresBackend(std::vector<std::string> client_library_names)
      : client_library_names_(std::move(client_library_names)) {}
  ~PostgresBackend() override { Disconnect(); }

  // `target` is a service name (from "pg:SERVICE"), looked up in the service
  // file, or a whole "postgresql://" or "postgres://" URI. User and password
  // go to libpq as values of their own; when not empty they override a user
  // or password that the service or URI names.
  std::int32_t Connect(std::string_view user, std::string_view password,
                       std::string_view target) override {
    Disconnect();
    if (!api_) {
      std::string error;
      api_ = libpq::Load(client_library_names_, &error);
      if (!api_ || !waiter_.Load(&error)) {
        api_.reset();
        return Fail(kStatusClientUnavailable, "PostgreSQL client unavailable: " + error);
      }
    }
    // libpq reads C strings: a NUL would silently cut a value.
    for (std::string_view value : {user, password, target}) {
      if (value.find('\0') != std::string_view::npos) {
        return Fail(kStatusConnectFailed, "a connection value holds a NUL byte");
      }
    }
    // libpq ignores an empty value, and would connect to its defaults.
    if (target.empty()) return Fail(kStatusConnectFailed, "no service named after \"pg:\"");

    const bool uri = StartsWith(target, "postgresql://") || StartsWith(target, "postgres://");
    const std::string target_text(target);
    const std::string user_text(user);
    const std::string password_text(password);
    const std::string timeout_text = std::to_string(kConnectTimeoutSeconds);
    // Later keywords override what the expanded URI or the service sets.
    std::vector<const char*> keywords = {uri ? "dbname" : "service", "connect_timeout"};
    std::vector<const char*> values = {target_text.c_str(), timeout_text.c_str()};
    if (!user.empty()) {
      keywords.push_back("user");
      values.push_back(user_text.c_str());
    }
    if (!password.empty()) {
      keywords.push_back("password");
      values.push_back(password_text.c_str());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);

    // Connecting step by step, rather than with PQconnectdbParams, lets the
    // verbosity be set before the server answers: only a verbose message
    // carries the SQLSTATE of a refused login. The wait is ours to bound.
    ConnHandle conn(api_->PQconnectStartParams(keywords.data(), values.data(), uri ? 1 : 0),
                    ConnFinisher{api_.get()});
    if (!conn) return Fail(kStatusConnectFailed, "out of memory");
    if (api_->PQstatus(conn.get()) == libpq::kConnectionBad) return FailConnect(conn.get());
    api_->PQsetErrorVerbosity(conn.get(), libpq::kErrorsVerbose);

    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(kConnectTimeoutSeconds);
    int step = libpq::kPollingWriting;  // where libpq's protocol starts
    while (step != libpq::kPollingOk) {
      if (step == libpq::kPollingFailed) return FailConnect(conn.get());
      if (!waiter_.Wait(api_->PQsocket(conn.get()), step == libpq::kPollingReading, deadline)) {
        return Fail(kStatusConnectFailed,
                    "no connection within " + std::to_string(kConnectTimeoutSeconds) + " s");
      }
      step = api_->PQconnectPoll(conn.get());
    }
    conn_ = std::move(conn);
    return 0;
  }

  // Sets search_path to the schema, unquoted so that it folds to lower case
  // like every unquoted name in the statement. PostgreSQL accepts a schema
  // that does not exist, or that the user may not use, and current_schema()
  // is then null: so the switch counts only when current_schema() names it.
  std::int32_t SetSchema(std::string_view schema) override {
    if (!conn_) return Fail(kStatusNotConnected, "not connected");
    if (!IsPlainIdentifier(schema)) {
      return Fail(kStatusSchemaNotSet,
                  "schema name \"" + std::string(schema) + "\" is not a plain identifier");
    }
    // Both statements are ours, so they travel in one round trip; the result
    // is the SELECT's, or the first failure's.
    const std::string sql =
        "SET search_path TO " + std::string(schema) + "; SELECT current_schema()";
    ResultHandle result = Exec(sql.c_str());
    if (Status(result.get()) != libpq::kTuplesOk) return FailResult(result.get());
    const std::string expected = FoldedIdentifier(schema);
    const bool is_null =
        api_->PQntuples(result.get()) != 1 || api_->PQgetisnull(result.get(), 0, 0) != 0;
    if (is_null || expected != api_->PQgetvalue(result.get(), 0, 0)) {
      return Fail(kStatusSchemaNotSet,
                  "schema \"" + expected + "\" does not exist or the user may not use it");
    }
    return 0;
  }

  // Runs `statement` inside a transaction that only Commit ends. The extended
  // protocol takes exactly one statement: PostgreSQL refuses a text of two
  // (42601), and nothing of it runs.
  std::int32_t Execute(std::string_view statement) override {
    if (!conn_) return Fail(kStatusNotConnected, "not connected");
    const std::int32_t status = ExecuteInTransaction(statement);
    // The first failure decides the transaction: Commit will roll it back.
    if (status != 0 && failed_status_ == 0) failed_status_ = status;
    return status;
  }

  // Commits the work since the last Commit. After a failed Execute it rolls
  // back instead and returns that Execute's status. A COMMIT must answer with
  // the tag COMMIT: PostgreSQL answers a COMMIT of a failed transaction with
  // ROLLBACK and no error, and that is a failed commit (-40000).
  std::int32_t Commit() override {
    if (failed_status_ != 0) {
      const std::int32_t status = failed_status_;
      failed_status_ = 0;
      RollbackIfOpen();
      return status;  // LastError still holds the Execute's message
    }
    if (!conn_) return Fail(kStatusNotConnected, "not connected");
    if (api_->PQtransactionStatus(conn_.get()) == libpq::kTransIdle) return 0;
    ResultHandle result = Exec("COMMIT");
    if (Status(result.get()) != libpq::kCommandOk) {
      // A deferred constraint fails here (23503); the server has ended the
      // transaction, and RollbackIfOpen finds nothing left to do.
      const std::int32_t status = FailResult(result.get());
      RollbackIfOpen();
      return status;
    }
    const std::string_view tag = api_->PQcmdStatus(result.get());
    if (tag != "COMMIT") {
      return Fail(SqlStateStatus("40000"),
                  "COMMIT answered " + std::string(tag) + ": nothing was committed");
    }
    return 0;
  }

  std::string LastError() const override { return last_error_; }

 private:
  std::int32_t ExecuteInTransaction(std::string_view statement) {
    if (statement.find('\0') != std::string_view::npos) {
      // libpq would send the text only up to the NUL.
      return Fail(SqlStateStatus("42601"), "the statement holds a NUL byte");
    }
    if (api_->PQtransactionStatus(conn_.get()) == libpq::kTransIdle) {
      ResultHandle begin = Exec("BEGIN");
      if (Status(begin.get()) != libpq::kCommandOk) return FailResult(begin.get());
    }
    const std::string text(statement);
    ResultHandle result(
        api_->PQexecParams(conn_.get(), text.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0),
        ResultClearer{api_.get()});
    switch (Status(result.get())) {
      case libpq::kCommandOk:
      case libpq::kTuplesOk:  // rows of a query are not used
        return 0;
      case libpq::kEmptyQuery:
        return Fail(SqlStateStatus("42601"), "no statement to execute");
      case libpq::kCopyIn:
      case libpq::kCopyOut:
      case libpq::kCopyBoth:
        // The connection now waits for copy data that will never come;
        // closing it discards the transaction.
        conn_.reset();
        return Fail(SqlStateStatus("0A000"), "COPY from or to the client is not supported");
      default:
        return FailResult(result.get());
    }
  }

  ResultHandle Exec(const char* sql) {
    return ResultHandle(api_->PQexec(conn_.get(), sql), ResultClearer{api_.get()});
  }

  // The result's status; a missing result (out of memory, connection gone)
  // counts as a failure.
  int Status(const libpq::Result* result) const {
    return result != nullptr ? api_->PQresultStatus(result) : -1;
  }

  // The server's SQLSTATE of a failed result. Failures libpq finds itself
  // carry none: a broken connection (08006) or anything else (XX000).
  std::int32_t FailResult(const libpq::Result* result) {
    const char* sqlstate =
        result != nullptr ? api_->PQresultErrorField(result, libpq::kDiagSqlState) : nullptr;
    std::string message = result != nullptr ? api_->PQresultErrorMessage(result) : "";
    if (message.empty() && conn_) message = api_->PQerrorMessage(conn_.get());
    if (sqlstate != nullptr && IsFailureSqlState(sqlstate)) {
      return Fail(SqlStateStatus(sqlstate), std::move(message));
    }
    const bool lost = !conn_ || api_->PQstatus(conn_.get()) == libpq::kConnectionBad;
    return Fail(lost ? kStatusConnectionLost : SqlStateStatus("XX000"), std::move(message));
  }

  // A refused login carries the server's SQLSTATE in the verbose message; a
  // connection that never reached a server carries none.
  std::int32_t FailConnect(const libpq::Conn* conn) {
    std::string message = api_->PQerrorMessage(conn);
    const std::string_view sqlstate = SqlStateInMessage(message);
    const std::int32_t status = sqlstate.empty() ? kStatusConnectFailed : SqlStateStatus(sqlstate);
    return Fail(status, std::move(message));
  }

  std::int32_t Fail(std::int32_t status, std::string message) {
    last_error_ = std::move(message);
    return status;
  }

  // Errors of the rollback itself are not reported: closing the connection
  // discards the transaction all the same.
  void RollbackIfOpen() {
    if (conn_ && api_->PQtransactionStatus(conn_.get()) != libpq::kTransIdle) {
      static_cast<void>(Exec("ROLLBACK"));
    }
  }

  void Disconnect() {
    RollbackIfOpen();
    conn_.reset();
    failed_status_ = 0;
  }

  std::vector<std::string> client_library_names_;
  SocketWaiter waiter_;
  std::unique_ptr<Api> api_;  // declared before conn_: outlives it
  ConnHandle conn_{nullptr, ConnFinisher{nullptr}};
  std::int32_t failed_status_ = 0;  // first failed Execute since the last Commit
  std::string last_error_;
};

}  // namespace

std::string_view SqlStateInMessage(std::string_view message) {
  // A verbose server error reads "SEVERITY:  SQLSTATE: text"; the severity
  // may be translated, the code never is.
  std::string_view found;
  for (std::size_t at = message.find(":  "); at != std::string_view::npos;
       at = message.find(":  ", at + 1)) {
    if (at + 8 >= message.size()) break;
    const std::string_view code = message.substr(at + 3, 5);
    if (IsFailureSqlState(code) && message[at + 8] == ':') found = code;
  }
  return found;
}

std::unique_ptr<Backend> NewPostgresBackend(std::vector<std::string> client_library_names) {
  return std::make_unique<PostgresBackend>(std::move(client_library_names));
}

std::unique_ptr<Backend> NewPostgresBackend() {
  return NewPostgresBackend(libpq::DefaultLibraryNames());
}

}  // namespace dbrunner
