// The small interface every database client sits behind, and the choice of
// client by the form of DbName.
#ifndef DBRUNNER_DB_BACKEND_H_
#define DBRUNNER_DB_BACKEND_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace dbrunner {

// Statuses follow the SQLCODE convention: 0 success, negative for errors.
// DbName is empty or of a form no backend of this build claims: the legacy
// client's status for a net service name it cannot resolve.
inline constexpr std::int32_t kStatusNoBackend = -12154;

// A server backend whose client library cannot be found or loaded, or lacks
// an entry point the backend needs, or was not built into this program.
inline constexpr std::int32_t kStatusClientUnavailable = -9999;

// One database session. Every operation returns a status; the execute stays
// uncommitted until Commit, and a session that ends without a successful
// Commit leaves nothing behind (the destructor rolls back).
class Backend {
 public:
  Backend() = default;
  Backend(const Backend&) = delete;
  Backend& operator=(const Backend&) = delete;
  virtual ~Backend() = default;

  // `target` is DbName without the backend's prefix; user and password are
  // handed to the client as separate values, never spliced into a text.
  [[nodiscard]] virtual std::int32_t Connect(std::string_view user, std::string_view password,
                                             std::string_view target) = 0;
  [[nodiscard]] virtual std::int32_t SetSchema(std::string_view schema) = 0;
  // Prepares and executes exactly one statement.
  [[nodiscard]] virtual std::int32_t Execute(std::string_view statement) = 0;
  [[nodiscard]] virtual std::int32_t Commit() = 0;
  // The client's message for the last failure, for tests and diagnostics.
  virtual std::string LastError() const = 0;
};

// A backend chosen for a DbName, with the text it connects to.
struct BackendChoice {
  std::unique_ptr<Backend> backend;  // null when no backend claims the DbName
  std::string target;
  std::string_view kind;  // "sqlite", "postgres", "odbc" or "oracle"; empty with no backend
};

// Chooses by form: "sqlite:PATH" selects SQLite on PATH; "pg:SERVICE" and
// "postgresql://..." or "postgres://..." PostgreSQL (the target is SERVICE, or
// the whole URI); "odbc:DSN" ODBC; any other non-empty text is an Oracle net
// service name; an empty DbName selects nothing.
BackendChoice ChooseBackend(std::string_view db_name);

// How the session obtains its backend; tests substitute their own.
using BackendFactory = std::function<BackendChoice(std::string_view db_name)>;

// The backends, one per .cc. The server backends load their client library
// only when they connect, so a SQLite run never maps it.
std::unique_ptr<Backend> NewSqliteBackend();
std::unique_ptr<Backend> NewPostgresBackend();
std::unique_ptr<Backend> NewOdbcBackend();
std::unique_ptr<Backend> NewOracleBackend();

}  // namespace dbrunner

#endif  // DBRUNNER_DB_BACKEND_H_
