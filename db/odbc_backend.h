// The ODBC backend beyond its default factory: a chosen driver manager, and
// the rules that depend on the DBMS the driver reports.
#ifndef DBRUNNER_DB_ODBC_BACKEND_H_
#define DBRUNNER_DB_ODBC_BACKEND_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/backend.h"

namespace dbrunner {

// An ODBC backend that loads the first of `client_library_names` when it
// connects (NewOdbcBackend uses the system's driver manager).
std::unique_ptr<Backend> NewOdbcBackend(std::vector<std::string> client_library_names);

// The status of a diagnostic record: minus the native error where the DBMS
// reports its own error numbers there (Oracle's ORA numbers, SQLite's result
// codes), otherwise the SQLSTATE's status. `dbms_name` is empty before a
// connection; a message naming "ORA-" and the native number then marks an
// Oracle driver.
std::int32_t OdbcStatus(std::string_view dbms_name, std::string_view sqlstate, std::int32_t native,
                        std::string_view message);

// The statement that switches the schema on the DBMS named `dbms_name`, empty
// where there is nothing to switch. PostgreSQL also needs its check of
// current_schema(), which the backend runs after it.
std::string OdbcSchemaStatement(std::string_view dbms_name, std::string_view schema);

}  // namespace dbrunner

#endif  // DBRUNNER_DB_ODBC_BACKEND_H_
