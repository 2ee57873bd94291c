// The choice of database backend by the form of DbName.
#include "db/backend.h"

#include <memory>
#include <string>
#include <string_view>

namespace dbrunner {
namespace {

// One row per DbName form. The target handed to the backend is DbName without
// the prefix. Server backends join this table; an Oracle net service name
// (any other non-empty DbName) will become the fallback after the loop.
struct BackendForm {
  std::string_view prefix;
  std::unique_ptr<Backend> (*make)();
};

constexpr BackendForm kBackendForms[] = {
    {"sqlite:", NewSqliteBackend},
};

}  // namespace

BackendChoice ChooseBackend(std::string_view db_name) {
  for (const BackendForm& form : kBackendForms) {
    // The prefix is matched exactly, upper and lower case as written.
    if (db_name.substr(0, form.prefix.size()) == form.prefix) {
      return BackendChoice{form.make(), std::string(db_name.substr(form.prefix.size()))};
    }
  }
  return BackendChoice{};
}

}  // namespace dbrunner
