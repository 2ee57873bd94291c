// Execution of the run's statement.
#include "db/dbrunner_sql.h"

#include <cstdint>
#include <string_view>

#include "db/sqlhlp.h"

namespace dbrunner {

std::int32_t dbExecute(DbSession& session, std::string_view text) {
  if (!session.backend) return kStatusNoBackend;
  // Handed over whole: no statement buffer of fixed size stands in between.
  return session.backend->Execute(text);
}

}  // namespace dbrunner
