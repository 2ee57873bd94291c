// The part of the PostgreSQL client library (libpq) that dbrunner uses,
// loaded at run time: opaque handle types, the constants, and a table of entry
// points. Declared here from libpq's documented C interface, so the program
// builds without libpq's headers.
#ifndef DBRUNNER_DB_LIBPQ_API_H_
#define DBRUNNER_DB_LIBPQ_API_H_

#include <memory>
#include <string>
#include <vector>

#include "db/dynamic_library.h"

namespace dbrunner::libpq {

// libpq's PGconn and PGresult; only ever handled by pointer.
struct Conn;
struct Result;

// ConnStatusType
inline constexpr int kConnectionOk = 0;
inline constexpr int kConnectionBad = 1;
// PostgresPollingStatusType
inline constexpr int kPollingFailed = 0;
inline constexpr int kPollingReading = 1;
inline constexpr int kPollingWriting = 2;
inline constexpr int kPollingOk = 3;
// ExecStatusType
inline constexpr int kEmptyQuery = 0;
inline constexpr int kCommandOk = 1;
inline constexpr int kTuplesOk = 2;
inline constexpr int kCopyOut = 3;
inline constexpr int kCopyIn = 4;
inline constexpr int kCopyBoth = 8;
// PGTransactionStatusType
inline constexpr int kTransIdle = 0;
inline constexpr int kTransInTrans = 2;
inline constexpr int kTransInError = 3;
// PGVerbosity: verbose messages carry the SQLSTATE, also for connection failures.
inline constexpr int kErrorsVerbose = 2;
// PQresultErrorField code of the SQLSTATE.
inline constexpr int kDiagSqlState = 'C';

// The entry points, resolved from one loaded library that the table keeps open.
// C enums are passed and returned as int.
struct Api {
  Conn* (*PQconnectStartParams)(const char* const* keywords, const char* const* values,
                                int expand_dbname);
  int (*PQconnectPoll)(Conn* conn);
  int (*PQstatus)(const Conn* conn);
  int (*PQsocket)(const Conn* conn);
  int (*PQsetErrorVerbosity)(Conn* conn, int verbosity);
  char* (*PQerrorMessage)(const Conn* conn);
  int (*PQtransactionStatus)(const Conn* conn);
  void (*PQfinish)(Conn* conn);
  Result* (*PQexec)(Conn* conn, const char* query);
  Result* (*PQexecParams)(Conn* conn, const char* command, int n_params, const unsigned* types,
                          const char* const* values, const int* lengths, const int* formats,
                          int result_format);
  int (*PQresultStatus)(const Result* result);
  char* (*PQresultErrorMessage)(const Result* result);
  char* (*PQresultErrorField)(const Result* result, int field_code);
  char* (*PQcmdStatus)(Result* result);
  int (*PQntuples)(const Result* result);
  int (*PQgetisnull)(const Result* result, int row, int column);
  char* (*PQgetvalue)(const Result* result, int row, int column);
  void (*PQclear)(Result* result);

  std::unique_ptr<DynamicLibrary> library;
};

// Where libpq is looked for, in order.
std::vector<std::string> DefaultLibraryNames();

// Loads the first of `library_names` that loads and resolves every entry point
// above. Null, with the reason in `*error`, when no library loads or one lacks
// an entry point.
std::unique_ptr<Api> Load(const std::vector<std::string>& library_names, std::string* error);

}  // namespace dbrunner::libpq

#endif  // DBRUNNER_DB_LIBPQ_API_H_
