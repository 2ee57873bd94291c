// The session: connect with the schema switch, and commit.
#include "db/sqlhlp.h"

#include <cstdint>
#include <string_view>
#include <utility>

#include "db/backend.h"

namespace dbrunner {

std::int32_t dbConnect(DbSession& session, std::string_view user, std::string_view password,
                       std::string_view db_name, std::string_view schema) {
  BackendChoice choice = session.factory(db_name);
  // Replacing an earlier backend ends its session (rolled back, closed).
  session.backend = std::move(choice.backend);
  if (!session.backend) return kStatusNoBackend;

  // The values stay separate: no connect text is joined, so no character of a
  // password needs quoting and no length limit applies. A backend that failed
  // to connect is kept; destroying it with the session releases what it holds.
  const std::int32_t status = session.backend->Connect(user, password, choice.target);
  if (status != 0) return status;
  return session.backend->SetSchema(schema);
}

std::int32_t dbCommit(DbSession& session, std::int32_t* status) {
  const std::int32_t commit_status = session.backend ? session.backend->Commit() : kStatusNoBackend;
  if (status != nullptr) *status = commit_status;
  return commit_status == 0 ? 1 : 0;
}

}  // namespace dbrunner
