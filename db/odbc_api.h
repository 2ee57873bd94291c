// The part of the ODBC driver manager's interface that dbrunner uses, loaded
// at run time: handle and integer types, the constants, and a table of entry
// points. Declared here from the published ODBC 3 API reference, so the program builds
// without the ODBC headers.
#ifndef DBRUNNER_DB_ODBC_API_H_
#define DBRUNNER_DB_ODBC_API_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/dynamic_library.h"

// ODBC entry points use the Windows API calling convention on Windows (it
// only matters on 32-bit x86) and the C one elsewhere.
#ifdef _WIN32
#define DBRUNNER_ODBC_CALL __stdcall
#else
#define DBRUNNER_ODBC_CALL
#endif

namespace dbrunner::odbc {

using Handle = void*;           // SQLHANDLE: SQLHENV, SQLHDBC, SQLHSTMT
using Return = std::int16_t;    // SQLRETURN
using SmallInt = std::int16_t;  // SQLSMALLINT
using USmallInt = std::uint16_t;
using Integer = std::int32_t;  // SQLINTEGER: 32 bits on every platform
// SQLLEN is as wide as a pointer on 64-bit Windows and 64-bit unixODBC alike.
using Len = std::intptr_t;
using Char = unsigned char;  // SQLCHAR

// Return codes.
inline constexpr Return kSuccess = 0;
inline constexpr Return kSuccessWithInfo = 1;
inline constexpr Return kNoData = 100;
// Handle types.
inline constexpr SmallInt kHandleEnv = 1;
inline constexpr SmallInt kHandleDbc = 2;
inline constexpr SmallInt kHandleStmt = 3;
// Attributes and their values.
inline constexpr Integer kAttrOdbcVersion = 200;
inline constexpr std::uintptr_t kOdbcVersion3 = 3;
inline constexpr Integer kAttrAutocommit = 102;
inline constexpr std::uintptr_t kAutocommitOff = 0;
inline constexpr Integer kAttrLoginTimeout = 103;
inline constexpr Integer kAttrConnectionTimeout = 113;
inline constexpr Integer kIsUInteger = -5;
// SQLGetInfo.
inline constexpr USmallInt kInfoDbmsName = 17;
// SQLEndTran.
inline constexpr SmallInt kCommit = 0;
inline constexpr SmallInt kRollback = 1;
// SQLGetData.
inline constexpr SmallInt kCChar = 1;
inline constexpr Len kNullData = -1;

inline bool Succeeded(Return rc) { return rc == kSuccess || rc == kSuccessWithInfo; }

// The entry points, resolved from one loaded driver manager that the table
// keeps open. The narrow-character forms: texts pass through as bytes.
struct Api {
  Return(DBRUNNER_ODBC_CALL* SQLAllocHandle)(SmallInt type, Handle input, Handle* output);
  Return(DBRUNNER_ODBC_CALL* SQLFreeHandle)(SmallInt type, Handle handle);
  Return(DBRUNNER_ODBC_CALL* SQLSetEnvAttr)(Handle env, Integer attribute, void* value,
                                            Integer length);
  Return(DBRUNNER_ODBC_CALL* SQLSetConnectAttr)(Handle dbc, Integer attribute, void* value,
                                                Integer length);
  Return(DBRUNNER_ODBC_CALL* SQLConnect)(Handle dbc, Char* dsn, SmallInt dsn_length, Char* user,
                                         SmallInt user_length, Char* password,
                                         SmallInt password_length);
  Return(DBRUNNER_ODBC_CALL* SQLDisconnect)(Handle dbc);
  Return(DBRUNNER_ODBC_CALL* SQLGetInfo)(Handle dbc, USmallInt type, void* value,
                                         SmallInt buffer_length, SmallInt* length);
  Return(DBRUNNER_ODBC_CALL* SQLPrepare)(Handle stmt, Char* text, Integer length);
  Return(DBRUNNER_ODBC_CALL* SQLExecute)(Handle stmt);
  Return(DBRUNNER_ODBC_CALL* SQLMoreResults)(Handle stmt);
  Return(DBRUNNER_ODBC_CALL* SQLFetch)(Handle stmt);
  Return(DBRUNNER_ODBC_CALL* SQLGetData)(Handle stmt, USmallInt column, SmallInt target_type,
                                         void* target, Len buffer_length, Len* indicator);
  Return(DBRUNNER_ODBC_CALL* SQLEndTran)(SmallInt type, Handle handle, SmallInt completion);
  Return(DBRUNNER_ODBC_CALL* SQLGetDiagRec)(SmallInt type, Handle handle, SmallInt record,
                                            Char* sqlstate, Integer* native, Char* message,
                                            SmallInt buffer_length, SmallInt* length);

  std::unique_ptr<DynamicLibrary> library;
};

// Where the driver manager is looked for, in order.
std::vector<std::string> DefaultLibraryNames();

// Loads the first of `library_names` that loads and resolves every entry point
// above. Null, with the reason in `*error`, when no library loads or one lacks
// an entry point.
std::unique_ptr<Api> Load(const std::vector<std::string>& library_names, std::string* error);

}  // namespace dbrunner::odbc

#endif  // DBRUNNER_DB_ODBC_API_H_
