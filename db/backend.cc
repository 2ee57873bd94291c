// The choice of database backend by the form of DbName.
#include "db/backend.h"

#include <memory>
#include <string>
#include <string_view>

namespace dbrunner {
namespace {

// One row per DbName form. The target handed to the backend is DbName without
// the prefix, or the whole DbName where the prefix is part of what the client
// reads (a PostgreSQL URI).
struct BackendForm {
  std::string_view kind;
  std::string_view prefix;
  bool keep_prefix;
  std::unique_ptr<Backend> (*make)();
};

constexpr BackendForm kBackendForms[] = {
    {"sqlite", "sqlite:", false, NewSqliteBackend},
    {"postgres", "pg:", false, NewPostgresBackend},
    {"postgres", "postgresql://", true, NewPostgresBackend},
    {"postgres", "postgres://", true, NewPostgresBackend},
    {"odbc", "odbc:", false, NewOdbcBackend},
};

}  // namespace

BackendChoice ChooseBackend(std::string_view db_name) {
  for (const BackendForm& form : kBackendForms) {
    // The prefix is matched exactly, upper and lower case as written.
    if (db_name.substr(0, form.prefix.size()) == form.prefix) {
      const std::string_view target =
          form.keep_prefix ? db_name : db_name.substr(form.prefix.size());
      return BackendChoice{form.make(), std::string(target), form.kind};
    }
  }
  // Anything else is a net service name, the legacy tool's only form.
  if (!db_name.empty()) return BackendChoice{NewOracleBackend(), std::string(db_name), "oracle"};
  return BackendChoice{};
}

}  // namespace dbrunner
