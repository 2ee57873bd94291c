// The Oracle backend's seam for tests: which client library it loads.
#ifndef DBRUNNER_DB_ORACLE_BACKEND_H_
#define DBRUNNER_DB_ORACLE_BACKEND_H_

#include <memory>
#include <string>

#include "db/backend.h"

namespace dbrunner {

// An Oracle backend that loads `library` (a file name the platform searches
// for, or a path) instead of the client's own names; NewOracleBackend is this
// with the names of the installed client.
std::unique_ptr<Backend> NewOracleBackendLoading(std::string library);

}  // namespace dbrunner

#endif  // DBRUNNER_DB_ORACLE_BACKEND_H_
