// The statement file DBRUNNER.<DbSys>.INI: numbered pieces SQL001, SQL002, ...
// of one section, joined into the statement text.
#ifndef DBRUNNER_STATEMENT_STATEMENT_FILE_H_
#define DBRUNNER_STATEMENT_STATEMENT_FILE_H_

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace dbrunner {

// Result of GetIniValues when no statement text was found.
inline constexpr std::int32_t kStatusNoStatement = 3;

// The section name is held in a field of 32 bytes.
inline constexpr std::size_t kSectionNameMaxChars = 31;
// The statement file's path is built in 40 bytes: ".\DBRUNNER." + DbSys + ".INI".
inline constexpr std::size_t kDbSysMaxChars = 24;
// Keys run from SQL001 to SQL999.
inline constexpr int kMaxStatementLines = 999;
// The read buffer starts with room for 80 characters and triples when full.
inline constexpr std::int32_t kInitialPieceCapacity = 80;
// The most a piece may hold: the reader's size (capacity + 1) is an int32.
inline constexpr std::int32_t kMaxPieceCapacity = 2147483646;

// The statement file for `db_sys`: "DBRUNNER.<DbSys>.INI" in the working
// directory (".\DBRUNNER.<DbSys>.INI" on Windows). nullopt when DbSys cannot
// name a file there: longer than kDbSysMaxChars, or holding '/', '\\', ':'
// (on every platform) or NUL, so the name never leaves the directory.
std::optional<std::string> StatementFilePath(std::string_view db_sys);

// Appends " " and `piece` to `sql_text`, creating it when absent. Returns 1.
std::int32_t AppendSqlLine(std::optional<std::string>& sql_text, std::string_view piece);

// One profile read: the value of `key` into `buffer` under the profile
// contract (count returned, cut to size - 1).
using PieceReader =
    std::function<std::int32_t(std::string_view key, char* buffer, std::int32_t size)>;

// Reads SQL001, SQL002, ... through `read` until the first missing or empty
// key, re-reading a key with a tripled buffer whenever its count equals the
// capacity, and appends each piece. Returns 0 when `sql_text` holds a piece,
// kStatusNoStatement otherwise. With `debug_out`, prints the diagnostic lines.
// A piece longer than `max_capacity` leaves no statement (sql_text reset).
[[nodiscard]] std::int32_t LoadStatement(const PieceReader& read, std::FILE* debug_out,
                                         std::optional<std::string>& sql_text,
                                         std::int32_t max_capacity = kMaxPieceCapacity);

// Loads the statement of `section` from the statement file of `db_sys`.
// `debug_out` is null unless diagnostic output is wanted. A section name
// longer than kSectionNameMaxChars, or a DbSys that names no file, finds no
// statement.
[[nodiscard]] std::int32_t GetIniValues(std::string_view section, std::string_view db_sys,
                                        std::FILE* debug_out, std::optional<std::string>& sql_text);

}  // namespace dbrunner

#endif  // DBRUNNER_STATEMENT_STATEMENT_FILE_H_
