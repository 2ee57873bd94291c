// Tests for the parameter substitution and the reading of statement text.
#include "statement/parameters.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dbrunner {
namespace {

struct SubstitutionCase {
  std::string sql;
  std::vector<std::string> params;
  std::string expected;  // the text after substitution when not refused
  int refused;           // the refused placeholder, 0 when accepted
};

void ExpectSubstitution(const SubstitutionCase& row) {
  SCOPED_TRACE("sql: " + row.sql);
  std::string text = row.sql;
  int refused = -1;
  const std::int32_t status = ReplaceParameters(text, row.params, &refused);
  EXPECT_EQ(refused, row.refused);
  if (row.refused == 0) {
    EXPECT_EQ(status, 0);
    EXPECT_EQ(text, row.expected);
  } else {
    EXPECT_EQ(status, kStatusParameterRefused);
  }
}

TEST(ReplaceParameters, PlacesValuesAsBefore) {
  static const SubstitutionCase kCases[] = {
      {" UPDATE T SET A='$parm01' WHERE B='$parm02'",
       {"X", "Y"},
       " UPDATE T SET A='X' WHERE B='Y'",
       0},
      // Only the first occurrence of a placeholder is replaced.
      {"A='$parm01' B='$parm01'", {"X"}, "A='X' B='$parm01'", 0},
      {"A='$PARM01' B='$parm1'", {"X"}, "A='$PARM01' B='$parm1'", 0},
      {"A='$parm01' B=1$parm02", {"", ""}, "A='' B=1", 0},
      {"A='$parm011' B=$parm021", {"X", "2"}, "A='X1' B=21", 0},
      // The search runs on the text as changed, so a value can name a later placeholder.
      {"A='$parm01' B='$parm02'", {"$parm02", "Y"}, "A='Y' B='$parm02'", 0},
      {"A='$parm01' B='$parm02'", {"X"}, "A='X' B='$parm02'", 0},
      {"A=1", {"unused"}, "A=1", 0},
  };
  for (const auto& row : kCases) ExpectSubstitution(row);
}

TEST(ReplaceParameters, QuotesValuesForTheirPlace) {
  static const SubstitutionCase kCases[] = {
      {"SET A='$parm01'", {"A'B"}, "SET A='A''B'", 0},
      {"UPDATE T SET A=1 WHERE B='$parm01'",
       {"x' OR '1'='1"},
       "UPDATE T SET A=1 WHERE B='x'' OR ''1''=''1'",
       0},
      {"SET A=E'$parm01'", {"a\\' OR 1=1 --"}, "SET A=E'a\\\\'' OR 1=1 --'", 0},
      {"SET A=(e'$parm01')", {"\\"}, "SET A=(e'\\\\')", 0},
      // The E of TYPE continues a name: a plain literal, backslashes stay.
      {"SET A=TYPE'$parm01'", {"a\\b'"}, "SET A=TYPE'a\\b'''", 0},
      {"SELECT \"$parm01\" FROM T", {"a\"b"}, "SELECT \"a\"\"b\" FROM T", 0},
      {"SET A=1 -- job $parm01", {"x /* y */ 'z"}, "SET A=1 -- job x /* y */ 'z", 0},
      {"SET A=1 -- job $parm01", {"x\nDELETE FROM T"}, "", 1},
      {"SET A=1 -- job $parm01", {"x\r"}, "", 1},
      {"SET A=1 /* job $parm01 */", {"x -- 'y"}, "SET A=1 /* job x -- 'y */", 0},
      {"SET A=1 /* job $parm01 */", {"*/ DELETE FROM T /*"}, "", 1},
      {"SET A=1 /* job $parm01 */", {"a /* b"}, "", 1},
      {"SET A=1 /* job *$parm01 */", {"/x"}, "", 1},
      {"SET A='$parm01'", {std::string("a\0b", 3)}, "", 1},
  };
  for (const auto& row : kCases) ExpectSubstitution(row);
}

TEST(ReplaceParameters, TakesOnlyNumbersNamesAndListsInCode) {
  static const SubstitutionCase kCases[] = {
      {"WHERE ID = $parm01", {"17"}, "WHERE ID = 17", 0},
      {"WHERE ID = $parm01", {"-3.5"}, "WHERE ID = -3.5", 0},
      {"WHERE ID = $parm01", {"1e3"}, "WHERE ID = 1e3", 0},
      {"WHERE ID = $parm01", {"+.5E-3"}, "WHERE ID = +.5E-3", 0},
      {"WHERE ID IN ($parm01)", {" 'a','b''c' , 3\t"}, "WHERE ID IN ( 'a','b''c' , 3\t)", 0},
      {"SELECT $parm01 FROM T", {"a.b_1#"}, "SELECT a.b_1# FROM T", 0},
      {"UPDATE T_$parm01 SET A=1", {"X1"}, "UPDATE T_X1 SET A=1", 0},
      {"A = 5 - $parm01", {"-1"}, "A = 5 - -1", 0},
      {"WHERE ID = $parm01", {"1; DROP TABLE t"}, "", 1},
      {"WHERE ID = $parm01", {"1 --"}, "", 1},
      {"WHERE ID = $parm01", {"1 OR 1=1"}, "", 1},
      {"WHERE ID = $parm01", {"1,,2"}, "", 1},
      {"WHERE ID = $parm01", {","}, "", 1},
      {"WHERE ID = $parm01", {" "}, "", 1},
      {"WHERE ID = $parm01", {"'a"}, "", 1},
      {"WHERE ID = $parm01", {"'a'b'"}, "", 1},
      {"WHERE ID = $parm01", {"1."}, "", 1},
      {"WHERE ID = $parm01", {"1e"}, "", 1},
      {"WHERE ID = $parm01", {"a..b"}, "", 1},
      {"WHERE ID = $parm01", {"\"T\""}, "", 1},
      {"WHERE ID = $parm01", {"$x"}, "", 1},
      // Inside a PostgreSQL $$ string, which reads as code here.
      {"SELECT f($$ $parm01 $$)", {"a$$, b"}, "", 1},
      {"WHERE ID = $parm01", {"\xC4"}, "", 1},
      // Values that would glue to the text beside them.
      {"A = 5-$parm01", {"-1"}, "", 1},
      {"A = E$parm01", {"'x'"}, "", 1},
      {"A = $parm01'x'", {"N"}, "", 1},
      {"A = 'a'$parm01", {"'b'"}, "", 1},
      {"A = $parm01E'x'", {"1 "}, "", 1},
      // The refused placeholder is named; the ones before it are placed.
      {"A='$parm01' AND B=$parm02", {"ok", "1 OR 1=1"}, "", 2},
  };
  for (const auto& row : kCases) ExpectSubstitution(row);
}

TEST(ReplaceParameters, RefusesToChangeTheTextAroundThePlaceholder) {
  static const SubstitutionCase kCases[] = {
      // Removing the placeholder would join its neighbours into one mark.
      {"A = 5-$parm01-1", {""}, "", 1},
      {"A = 'a'$parm01'b'", {""}, "", 1},
      {"A = E$parm01'x\\'", {""}, "", 1},
      {"/* a*$parm01/ */ A = 1", {""}, "", 1},
      // A backslash before the placeholder would take the value's first byte.
      {"A = E'\\$parm01'", {"x"}, "", 1},
      {"A = E'\\$parm01'", {""}, "", 1},
      // A doubled backslash is whole, so the value stands free after it.
      {"A = E'\\\\$parm01'", {"x'"}, "A = E'\\\\x'''", 0},
  };
  for (const auto& row : kCases) ExpectSubstitution(row);
}

TEST(ReplaceParameters, NeverLooksPastTheNinetyNinthParameter) {
  std::vector<std::string> params;
  for (int i = 1; i <= 100; ++i) params.emplace_back("v") += std::to_string(i);
  params.back() = "x' OR '1'='1";  // would be refused if it were placed
  std::string text = "A='$parm99' B='$parm100'";
  int refused = -1;
  EXPECT_EQ(ReplaceParameters(text, params, &refused), 0);
  EXPECT_EQ(refused, 0);
  // "$parm100" is $parm10 followed by "0".
  EXPECT_EQ(text, "A='v99' B='v100'");
}

TEST(ContextAt, ReadsMarksFromTheStart) {
  struct Row {
    std::string sql;
    std::size_t pos;
    SqlContext expected;
  };
  static const Row kRows[] = {
      {"SELECT 1", 3, SqlContext::kCode},
      {"'a''b' x", 3, SqlContext::kStringLiteral},  // second quote of ''
      {"'a''b' x", 5, SqlContext::kStringLiteral},  // the closing quote
      {"'a''b' x", 6, SqlContext::kCode},
      {"E'a\\'b' x", 5, SqlContext::kEscapeLiteral},
      {"E'a\\'b' x", 8, SqlContext::kCode},
      {"TYPE'a\\' x", 9, SqlContext::kCode},
      {"1#E'\\' x", 7, SqlContext::kEscapeLiteral},  // '#' is an operator there
      {"\xC4"
       "E'\\' x",
       6, SqlContext::kCode},  // a byte above 0x7F continues a name
      {"\"a\"\"b\" x", 4, SqlContext::kQuotedName},
      {"\"a\"\"b\" x", 7, SqlContext::kCode},
      {"-- c\nx", 3, SqlContext::kLineComment},
      {"-- c\rx", 5, SqlContext::kCode},
      {"a - -b", 4, SqlContext::kCode},
      {"/* a */ x", 3, SqlContext::kBlockComment},
      {"/* /* */ x", 9, SqlContext::kCode},  // not nested
      {"'-- /*' x", 8, SqlContext::kCode},
      {"'never closed", 100, SqlContext::kStringLiteral},
      {std::string("'\0' \0x", 6), 5, SqlContext::kCode},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.sql + " @ " + std::to_string(row.pos));
    EXPECT_EQ(ContextAt(row.sql, row.pos), row.expected);
  }
}

// Whatever a value holds, inside a literal it ends where the literal does.
TEST(ReplaceParameters, HostileValuesStayInsideTheirLiteral) {
  static const char* const kValues[] = {
      "'",  "''",     "x' OR '1'='1", "\\'",   "';--",        "' /*",
      "\\", "a'b'c'", "\n'",          "\"'\"", "\x80'\xff\\", "'); DELETE FROM T; --",
  };
  for (const std::string prefix : {"UPDATE T SET A='", "UPDATE T SET A=E'"}) {
    const std::string suffix = "' WHERE ID=1";
    const SqlContext inside = prefix.back() == '\'' && prefix[prefix.size() - 2] == 'E'
                                  ? SqlContext::kEscapeLiteral
                                  : SqlContext::kStringLiteral;
    for (const std::string value : kValues) {
      SCOPED_TRACE(prefix + value);
      std::string text = prefix + "$parm01" + suffix;
      int refused = -1;
      ASSERT_EQ(ReplaceParameters(text, {value}, &refused), 0);
      ASSERT_GE(text.size(), prefix.size() + suffix.size() + value.size());
      const std::size_t closing = text.size() - suffix.size();
      EXPECT_EQ(ContextAt(text, closing - 1), inside);
      EXPECT_EQ(ContextAt(text, closing), inside);
      for (std::size_t pos = closing + 1; pos <= text.size(); ++pos) {
        EXPECT_EQ(ContextAt(text, pos), SqlContext::kCode) << pos;
      }
    }
  }
}

}  // namespace
}  // namespace dbrunner
