// Reading a test's SQLite database behind the program's back.
#ifndef DBRUNNER_TESTS_SQLITE_QUERY_H_
#define DBRUNNER_TESTS_SQLITE_QUERY_H_

#include <sqlite3.h>

#include <string>

namespace dbrunner::testing {

// Runs `sql` on the database file (created when missing) and returns the first
// column of each row joined with "|"; "ERROR: ..." when it fails.
inline std::string Query(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string result;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    result = std::string("ERROR: ") + sqlite3_errmsg(db);
  } else {
    auto collect = [](void* acc, int, char** values, char**) {
      auto* text = static_cast<std::string*>(acc);
      if (!text->empty()) *text += "|";
      *text += values[0] ? values[0] : "NULL";
      return 0;
    };
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), collect, &result, &error) != SQLITE_OK) {
      result = std::string("ERROR: ") + (error ? error : "");
    }
    sqlite3_free(error);
  }
  sqlite3_close(db);
  return result;
}

}  // namespace dbrunner::testing

#endif  // DBRUNNER_TESTS_SQLITE_QUERY_H_
