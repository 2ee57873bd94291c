// Execution of the run's statement.
#ifndef DBRUNNER_DB_DBRUNNER_SQL_H_
#define DBRUNNER_DB_DBRUNNER_SQL_H_

#include <cstdint>
#include <string_view>

#include "db/sqlhlp.h"

namespace dbrunner {

// Prepares and executes `text` exactly as given (leading blank, trailing ";"
// and all) and returns the database status. The text is passed whole,
// whatever its length.
[[nodiscard]] std::int32_t dbExecute(DbSession& session, std::string_view text);

}  // namespace dbrunner

#endif  // DBRUNNER_DB_DBRUNNER_SQL_H_
