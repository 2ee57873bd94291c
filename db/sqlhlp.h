// The session: connect with the schema switch, and commit.
#ifndef DBRUNNER_DB_SQLHLP_H_
#define DBRUNNER_DB_SQLHLP_H_

#include <cstdint>
#include <memory>
#include <string_view>

#include "db/backend.h"

namespace dbrunner {

// The run's one connection; it ends when the session is destroyed.
struct DbSession {
  BackendFactory factory = ChooseBackend;
  std::unique_ptr<Backend> backend;
};

// Opens the session and switches its current schema. Returns the connect's
// status when that fails (the schema switch is then skipped), otherwise the
// schema switch's status; 0 means connected with the schema set.
[[nodiscard]] std::int32_t dbConnect(DbSession& session, std::string_view user,
                                     std::string_view password, std::string_view db_name,
                                     std::string_view schema);

// Commits the current transaction. Returns 1 when committed, 0 when not; the
// commit's own status goes to `*status` when given.
std::int32_t dbCommit(DbSession& session, std::int32_t* status = nullptr);

}  // namespace dbrunner

#endif  // DBRUNNER_DB_SQLHLP_H_
