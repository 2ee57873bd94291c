// The PostgreSQL backend beyond its default factory: a chosen client library,
// and the reading of libpq's connection failure messages.
#ifndef DBRUNNER_DB_POSTGRES_BACKEND_H_
#define DBRUNNER_DB_POSTGRES_BACKEND_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/backend.h"

namespace dbrunner {

// A PostgreSQL backend that loads the first of `client_library_names` when it
// connects (NewPostgresBackend uses libpq's usual names).
std::unique_ptr<Backend> NewPostgresBackend(std::vector<std::string> client_library_names);

// The SQLSTATE of the last server error in a verbose libpq message, such as
// "... failed: FATAL:  28P01: password authentication failed ..."; empty when
// the message holds none (a failure on the client's side).
std::string_view SqlStateInMessage(std::string_view message);

}  // namespace dbrunner

#endif  // DBRUNNER_DB_POSTGRES_BACKEND_H_
