// Putting the command-line parameters in place of $parm01..$parm99, each value
// made safe for the place where its placeholder stands.
#ifndef DBRUNNER_STATEMENT_PARAMETERS_H_
#define DBRUNNER_STATEMENT_PARAMETERS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dbrunner {

// Exit status of a run whose parameter could not be placed safely.
inline constexpr std::int32_t kStatusParameterRefused = 4;
// Placeholders carry two digits: $parm01 .. $parm99.
inline constexpr int kMaxPlaceholders = 99;

// Where a position of the statement text stands.
enum class SqlContext {
  kCode,           // outside literals and comments
  kStringLiteral,  // inside '...'
  kEscapeLiteral,  // inside E'...', where a backslash escapes
  kQuotedName,     // inside "..."
  kLineComment,    // after -- up to the line end
  kBlockComment,   // inside /* ... */
};

// The context of byte `pos` of `sql`, scanning from its start. The second
// byte of a two-byte mark (--, /*, */, '', "", E', backslash pair) reports
// the context after the mark; a `pos` past the end, the context at the end.
SqlContext ContextAt(std::string_view sql, std::size_t pos);

// Replaces the first occurrence of each placeholder $parm01.. in ascending
// order by the matching parameter, quoted for its place. Returns 0, or
// kStatusParameterRefused with `*refused` set to the placeholder's number
// (0 after success; `sql_text` possibly partly replaced, never to be executed).
std::int32_t ReplaceParameters(std::string& sql_text, const std::vector<std::string>& params,
                               int* refused);

}  // namespace dbrunner

#endif  // DBRUNNER_STATEMENT_PARAMETERS_H_
