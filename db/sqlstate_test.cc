// Tests of the SQLSTATE statuses and the identifier rule of the server backends.
#include "db/sqlstate.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace dbrunner {
namespace {

// The two rules, and the values the README tables show.
static_assert(SqlStateStatus("23505") == -23505);
static_assert(SqlStateStatus("08001") == -8001);
static_assert(SqlStateStatus("00001") == -1);
static_assert(SqlStateStatus("99999") == -99999);
static_assert(SqlStateStatus("0000A") == -100010);
static_assert(SqlStateStatus("42P01") == -(100000 + 4 * 1679616 + 2 * 46656 + 25 * 1296 + 1));
static_assert(SqlStateStatus("ZZZZZ") == -60566175);

TEST(SqlStateStatus, NonFailureCodesCountAsGeneralError) {
  const std::int32_t general = SqlStateStatus("HY000");
  EXPECT_EQ(general, -30239776);
  for (const char* code : {"00000", "", "2350", "235050", "42p01", "42 01", "4260\xC3"}) {
    SCOPED_TRACE(code);
    EXPECT_FALSE(IsFailureSqlState(code));
    EXPECT_EQ(SqlStateStatus(code), general);
  }
}

TEST(IsPlainIdentifier, OnlyNamesThatNeedNoQuotes) {
  struct Case {
    const char* name;
    bool plain;
  };
  const Case kCases[] = {
      {"ZIZIVUZA", true},
      {"_x1", true},
      {"a", true},
      {"", false},
      {"1abc", false},
      {"ZIZ VUZA", false},
      {"x;DROP", false},
      {"\"Q\"", false},
      {"\xC3\xA4rger", false},
      {"abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijk", true},  // 63
      {"abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijkl", false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsPlainIdentifier(c.name), c.plain);
  }
  EXPECT_EQ(FoldedIdentifier("ZiZi_VUZA9"), "zizi_vuza9");
}

}  // namespace
}  // namespace dbrunner
