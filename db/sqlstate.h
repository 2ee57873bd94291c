// What the server backends share: statuses for SQLSTATE codes, and the rule
// for the schema name they put into a statement.
#ifndef DBRUNNER_DB_SQLSTATE_H_
#define DBRUNNER_DB_SQLSTATE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dbrunner {

namespace sqlstate_internal {
constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
constexpr bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
}  // namespace sqlstate_internal

// True for a SQLSTATE that reports a failure: five characters of 0-9 and A-Z,
// and not "00000" (success).
constexpr bool IsFailureSqlState(std::string_view sqlstate) {
  if (sqlstate.size() != 5 || sqlstate == "00000") return false;
  for (char c : sqlstate) {
    if (!sqlstate_internal::IsDigit(c) && !sqlstate_internal::IsUpper(c)) return false;
  }
  return true;
}

// The negative status of a failure SQLSTATE, which a reader can turn back:
//   five digits       -> minus its value:                        23505 -> -23505
//   holding a letter  -> minus (100000 + its value in base 36, digits 0-9 then
//                        A-Z = 10-35):                            42P01 -> -6944177
// So every SQLSTATE has its own status, from -1 to -60566175. Anything that
// is not a failure SQLSTATE counts as "HY000" (general error).
constexpr std::int32_t SqlStateStatus(std::string_view sqlstate) {
  if (!IsFailureSqlState(sqlstate)) sqlstate = "HY000";
  bool lettered = false;
  for (char c : sqlstate) lettered = lettered || sqlstate_internal::IsUpper(c);
  // Five base-36 digits stay below 36^5 = 60466176: no overflow.
  const std::int32_t base = lettered ? 36 : 10;
  std::int32_t value = 0;
  for (char c : sqlstate) {
    value = value * base + (sqlstate_internal::IsDigit(c) ? c - '0' : c - 'A' + 10);
  }
  return lettered ? -(100000 + value) : -value;
}

// Statuses the server backends report without a SQLSTATE from the server.
// No connection could be made: refused, unknown host, timeout, a service or
// URI the client rejects (the SQL standard's "unable to establish").
inline constexpr std::int32_t kStatusConnectFailed = SqlStateStatus("08001");
// The connection broke during an operation.
inline constexpr std::int32_t kStatusConnectionLost = SqlStateStatus("08006");
// An operation without an open connection.
inline constexpr std::int32_t kStatusNotConnected = SqlStateStatus("08003");
// The schema switch did not take: the schema is missing, not usable, or its
// name is not a plain identifier.
inline constexpr std::int32_t kStatusSchemaNotSet = SqlStateStatus("3F000");

// The longest identifier PostgreSQL keeps whole; Oracle's limit is 128.
inline constexpr std::size_t kIdentifierMaxChars = 63;

// True for a name that can stand unquoted in a statement: an ASCII letter or
// "_", then letters, digits or "_", at most kIdentifierMaxChars.
constexpr bool IsPlainIdentifier(std::string_view name) {
  if (name.empty() || name.size() > kIdentifierMaxChars) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool letter = sqlstate_internal::IsUpper(c) || sqlstate_internal::IsLower(c) || c == '_';
    if (!letter && (i == 0 || !sqlstate_internal::IsDigit(c))) return false;
  }
  return true;
}

// A plain identifier as PostgreSQL stores it unquoted: folded to lower case.
inline std::string FoldedIdentifier(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (sqlstate_internal::IsUpper(c)) c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

}  // namespace dbrunner

#endif  // DBRUNNER_DB_SQLSTATE_H_
