// Tests for the credential file: field helpers, text mode and the record lookup.
#include "credentials/credential_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "credentials/hex_decrypt.h"
#include "tests/test_util.h"

namespace dbrunner {
namespace {

// A record whose group line names `group` and whose entry line holds
// `number_text`, `key` and `plain` encrypted under the built-in key.
std::string Record(std::string_view group, std::string_view number_text, std::string_view key,
                   std::string_view plain) {
  std::string text = "x;" + std::string(group) + ";y\n";
  text += std::string(number_text) + ";" + std::string(key) + ";" + EncryptHexString(plain) + "\n";
  return text;
}

CryptRecord Lookup(std::string_view key, std::string_view text, std::int32_t number = 0) {
  CryptRecord record;
  GetCryptValue("", key, number, text, record);
  return record;
}

TEST(FindCharPos, CountsAndFallsBackToLastOccurrence) {
  struct Row {
    std::string_view line;
    char c;
    std::int32_t n;
    std::int32_t pos;
  };
  constexpr Row kRows[] = {
      {"a;b;c", ';', 1, 1},
      {"a;b;c", ';', 2, 3},
      {"a;b;c", ';', 3, 3},  // fewer than n: the last
                             // one, not -1
      {"a;bc", ';', 2, 1},
      {"abc", ';', 1, -1},
      {"", ';', 1, -1},
      {"ab\n", '\n', 1, 2},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(std::string(row.line) + " n=" + std::to_string(row.n));
    EXPECT_EQ(FindCharPos(row.line, row.c, row.n), row.pos);
  }
}

TEST(SubString, LengthRulesAndClamping) {
  struct Row {
    std::string_view line;
    std::int32_t start;
    std::int32_t length;
    std::string_view result;  // the target starts as "old"
  };
  constexpr Row kRows[] = {
      {"abcdef", 1, 3, "bcd"},
      {"abc\n", 1, 0, "bc\n"},  // zero length: the rest, line feed
                                // included
      {"abc\n", 4, 0, ""},
      {"abc", 0, -1, "old"},  // negative length: target untouched
      {"abc", 1, 10, "bc"},   // the copy ends with the line
      {"abc", 10, 2, ""},
      {"abc", -5, 2, "ab"},
      {"abc", 10, 0, ""},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(std::string(row.line) + " " + std::to_string(row.start) + "," +
                 std::to_string(row.length));
    std::string target = "old";
    SubString(row.line, row.start, row.length, target);
    EXPECT_EQ(target, row.result);
  }
}

TEST(ExtractCryptFields, EntryLines) {
  struct Row {
    std::string entry_line;
    std::int32_t number;
    std::string key;
    std::string value_text;
  };
  const Row kRows[] = {
      {"12;NET8;ABCD\n", 12, "NET8", "ABCD"},
      {"12;NET8;ABCD;XY\n", 12, "NET8", "ABCD;XY"},
      {"12;NET8\n", 12, "", "NET8"},  // the second ";" falls back to the first
      {"12;;ABCD\n", 12, ";ABCD\n", "ABCD"},
      {";NET8;AB\n", 0, "NET8", "AB"},
      {"ABCDEF\n", 0, "", "ABCDEF\n"},   // no ";": whole line; empty number text gives 0
      {"12;NET8;ABCD", 12, "NET8", ""},  // no line feed: no value
      {"12;NET8;\n", 12, "NET8", "\n"},
      {"abc;NET8;AB\n", 0, "NET8", "AB"},
      {" \t-7x;K;V\n", -7, "K", "V"},
      {"+0000000000000012;K;V\n", 12, "K", "V"},  // longer than 11 characters
      {"4294967296;K;V\n", 0, "K", "V"},          // modulo 2^32
      {"4294967295;K;V\n", -1, "K", "V"},
      {"-2147483648;K;V\n", INT32_MIN, "K", "V"},
      {"1;" + std::string(250, 'k') + ";V\n", 1, std::string(200, 'k'), "V"},
      {"1;K;" + std::string(300, 'v') + "\n", 1, "K", std::string(200, 'v')},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.entry_line);
    CryptRecord record;
    std::string number_text;
    ExtractCryptFields("x;G;y\n", row.entry_line, number_text, record);
    EXPECT_EQ(record.number, row.number);
    EXPECT_EQ(record.key, row.key);
    EXPECT_EQ(record.value, row.value_text);
  }
}

TEST(ExtractCryptFields, EntryLineWithoutSemicolonKeepsNumberText) {
  CryptRecord record;
  std::string number_text = "34";
  ExtractCryptFields("", "ABCDEF\n", number_text, record);
  EXPECT_EQ(record.number, 34);
}

TEST(ExtractCryptFields, GroupLines) {
  struct Row {
    std::string_view group_line;
    std::string_view group;
  };
  constexpr Row kRows[] = {
      {"x;GRP;y\n", "GRP"},
      {"a;b;c;d\n", "b"},
      {"a;;bc\n", ";bc\n"},
      {"abc\n", ""},
      {"a;bc\n", ""},
      {"\n", ""},
      {"", ""},
      {";; \n", "; \n"},
      {"; G ;\n", " G "},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.group_line);
    CryptRecord record;
    std::string number_text;
    ExtractCryptFields(row.group_line, "1;K;V\n", number_text, record);
    EXPECT_EQ(record.group, row.group);
  }
}

TEST(ApplyTextMode, CarriageReturnAndCtrlZ) {
  struct Row {
    std::string_view raw;
    std::string_view text;
  };
  constexpr Row kRows[] = {
      {"a\r\nb\r\n", "a\nb\n"}, {"a\rb\r", "a\rb\r"}, {"a\r\r\n", "a\r\n"},
      {"ab\x1A\ncd\n", "ab"},   {"\x1A", ""},         {"a\r\x1A\n", "a\r"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.raw);
    EXPECT_EQ(ApplyTextMode(row.raw), row.text);
  }
}

TEST(GetCryptValue, FindsEachKeyWithItsRecord) {
  const std::string text = Record("DB", "1", "NET8", "orcl") + Record("DB", "2", "LOGIN", "scott") +
                           Record("DB", "3", "PASS", "Tiger!42");
  struct Row {
    std::string_view key;
    std::int32_t number;
    std::string_view value;
    std::size_t line;
  };
  constexpr Row kRows[] = {
      {"NET8", 1, "orcl", 1}, {"LOGIN", 2, "scott", 3}, {"PASS", 3, "Tiger!42", 5}};
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.key);
    const CryptRecord record = Lookup(row.key, text, -1);
    EXPECT_EQ(record.value, row.value);
    EXPECT_EQ(record.number, row.number);
    EXPECT_EQ(record.key, row.key);
    EXPECT_EQ(record.group, "DB");
    EXPECT_EQ(record.line, row.line);
  }
}

TEST(GetCryptValue, NoMatchLeavesRecordReset) {
  CryptRecord record{7, "g", "k", "v", 9};
  GetCryptValue("", "PASS", -1, Record("DB", "1", "NET8", "orcl"), record);
  EXPECT_EQ(record.number, 0);
  EXPECT_EQ(record.group, "");
  EXPECT_EQ(record.key, "");
  EXPECT_EQ(record.value, "");
  EXPECT_EQ(record.line, 0u);

  record = {7, "g", "k", "v", 9};
  GetCryptValue("", "PASS", 0, std::string_view(), record);
  EXPECT_EQ(record.value, "");
  EXPECT_EQ(record.line, 0u);
}

TEST(GetCryptValue, OddLineCountIgnoresLastLine) {
  const std::string text =
      Record("DB", "1", "NET8", "orcl") + "7;PASS;" + EncryptHexString("secret") + "\n";
  EXPECT_EQ(Lookup("PASS", text, -1).line, 0u);
}

TEST(GetCryptValue, KeyIsCaseSensitiveAndUntrimmed) {
  const std::string text = Record("DB", "1", "pass", "a") + Record("DB", "2", " PASS", "b") +
                           Record("DB", "3", "PASS ", "c") + Record("DB", "4", "PASS", "d");
  const CryptRecord record = Lookup("PASS", text, -1);
  EXPECT_EQ(record.value, "d");
  EXPECT_EQ(record.line, 7u);
}

TEST(GetCryptValue, RecordsThatAnswerEveryLookup) {
  struct Row {
    std::string first_record;
    std::string_view value;
  };
  const std::string pass = EncryptHexString("any");
  const Row kRows[] = {
      {Record("DB", "0", "NET8", "any"), "any"},
      {Record("DB", "abc", "NET8", "any"), "any"},
      {Record("DB", "", "NET8", "any"), "any"},
      {Record("DB", "4294967296", "NET8", "any"), "any"},
      {"\n5;NET8;" + pass + "\n", "any"},  // empty group line
      {"abc\n5;NET8;" + pass + "\n", "any"},
      {"a;bc\n5;NET8;" + pass + "\n", "any"},
      {Record("DB", "5", "NET8", "any"), "real"},  // an ordinary record does not
  };
  const std::string wanted = Record("DB", "9", "PASS", "real");
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.first_record);
    EXPECT_EQ(Lookup("PASS", row.first_record + wanted, 0).value, row.value);
  }
}

TEST(GetCryptValue, FirstOfTwoMatchingRecordsWins) {
  const std::string text = Record("DB", "1", "PASS", "first") + Record("DB", "2", "PASS", "second");
  const CryptRecord record = Lookup("PASS", text, -1);
  EXPECT_EQ(record.value, "first");
  EXPECT_EQ(record.line, 1u);
}

TEST(GetCryptValue, NumberTextCarriesOverWithinOneCall) {
  // The entry line without ";" keeps the number text of the record before it;
  // as the first record of a call it finds the number text empty, so 0.
  const std::string no_semicolon = "x;B;y\nNOSEMI\n";
  CryptRecord record;
  GetCryptValue("B", "none", -1, Record("A", "5", "K", "v") + no_semicolon, record);
  EXPECT_EQ(record.line, 3u);
  EXPECT_EQ(record.number, 5);
  GetCryptValue("B", "none", -1, no_semicolon, record);
  EXPECT_EQ(record.line, 1u);
  EXPECT_EQ(record.number, 0);
}

TEST(GetCryptValue, LongLinesShiftThePairing) {
  // 199 and 399 characters with the line feed still fit; one more splits the
  // line and the later lines pair the other way round. A split entry line
  // leaves a lone line feed as the next group line, which answers any lookup.
  struct Row {
    std::size_t group_chars;
    std::size_t entry_chars;
    std::size_t line;
    std::string_view key;
  };
  constexpr Row kRows[] = {
      {199, 20, 7, "PASS"}, {200, 20, 0, ""}, {20, 399, 7, "PASS"}, {20, 400, 5, "A"}};
  for (const Row& row : kRows) {
    SCOPED_TRACE(std::to_string(row.group_chars) + "/" + std::to_string(row.entry_chars));
    std::string group_line = "x;G;";
    group_line.resize(row.group_chars - 1, 'g');
    std::string entry_line = "5;K;";
    entry_line.resize(row.entry_chars - 1, 'A');
    const std::string text = Record("A", "1", "K0", "v") + group_line + "\n" + entry_line + "\n" +
                             Record("A", "3", "LOGIN", "w") + Record("A", "4", "PASS", "secret");
    const CryptRecord record = Lookup("PASS", text, -1);
    EXPECT_EQ(record.line, row.line);
    EXPECT_EQ(record.key, row.key);
    if (row.key == "PASS") {
      EXPECT_EQ(record.value, "secret");
    }
  }
}

TEST(GetCryptValue, ZeroByteEndsTheLineTextButNotTheLine) {
  const std::string text = std::string("x;A;y\n5;K;AB\0CD;PASS;\n", 22) +
                           Record("A", "6", "NET8", "orcl") + "x;A;y\n7;PASS;" +
                           EncryptHexString("secret") + std::string("\0\n", 2);
  const CryptRecord net8 = Lookup("NET8", text, -1);
  EXPECT_EQ(net8.value, "orcl");
  EXPECT_EQ(net8.line, 3u);
  const CryptRecord pass = Lookup("PASS", text, -1);
  EXPECT_EQ(pass.line, 5u);  // matched, but the value had no line feed before the zero byte
  EXPECT_EQ(pass.value, "");
}

TEST(ReadCredentialFile, CrLfAndCtrlZAsInTextMode) {
  testing::ScopedTempDir dir;
  const std::string lf = Record("DB", "1", "NET8", "orcl") + Record("DB", "2", "PASS", "secret");
  std::string crlf;
  for (const char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  testing::WriteFile(dir.File("lf.ini"), lf);
  testing::WriteFile(dir.File("crlf.ini"), crlf);
  testing::WriteFile(dir.File("ctrlz.ini"), Record("DB", "1", "NET8", "orcl") + "\x1A\n" +
                                                Record("DB", "2", "PASS", "secret"));

  const std::optional<std::string> from_lf = ReadCredentialFile(dir.File("lf.ini"));
  const std::optional<std::string> from_crlf = ReadCredentialFile(dir.File("crlf.ini"));
  ASSERT_TRUE(from_lf && from_crlf);
  EXPECT_EQ(*from_crlf, *from_lf);
  CryptRecord record;
  GetCryptValue("", "PASS", -1, from_crlf, record);
  EXPECT_EQ(record.value, "secret");

  GetCryptValue("", "PASS", -1, ReadCredentialFile(dir.File("ctrlz.ini")), record);
  EXPECT_EQ(record.line, 0u);
  EXPECT_EQ(record.value, "");
}

TEST(ReadCredentialFile, UnreadableFileGivesResetRecord) {
  testing::ScopedTempDir dir;
  for (const std::string& path : {dir.File("missing.ini"), dir.path().string()}) {
    SCOPED_TRACE(path);
    const std::optional<std::string> text = ReadCredentialFile(path);
    EXPECT_FALSE(text.has_value());
    CryptRecord record{7, "g", "k", "v", 9};
    GetCryptValue("", "PASS", 0, text, record);
    EXPECT_EQ(record.number, 0);
    EXPECT_EQ(record.key, "");
    EXPECT_EQ(record.value, "");
    EXPECT_EQ(record.line, 0u);
  }
}

}  // namespace
}  // namespace dbrunner
