// Tests for show and check on credential files built to hold each trap.
#include "crypt/credential_check.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "credentials/hex_decrypt.h"
#include "tests/test_util.h"

namespace dbrunner {
namespace {

using namespace std::string_literals;

// A record that answers only the lookup of its key.
std::string Rec(std::string_view number, std::string_view key, std::string_view plain,
                std::string_view eol = "\n") {
  return "KV;DB;x" + std::string(eol) + std::string(number) + ";" + std::string(key) + ";" +
         EncryptHexString(plain) + std::string(eol);
}

std::string Good(std::string_view eol = "\n") {
  return Rec("1", "NET8", "sqlite:t.db", eol) + Rec("2", "LOGIN", "scott", eol) +
         Rec("3", "PASS", "tiger", eol) + Rec("4", "DB_SYSTEM", "SQLITE", eol);
}

struct Expected {
  std::size_t line;
  std::size_t column;
  std::string_view fragment;  // a part of the message that names the trap
};

TEST(CheckCredentialBytes, FindsEachTrapAtItsLine) {
  struct Row {
    const char* name;
    std::string file;
    std::vector<Expected> expected;
  };
  const std::string kLong = "a;G;" + std::string(195, 'x') + "\n";  // 199 characters + LF
  const Row kRows[] = {
      {"clean", Good(), {}},
      {"clean, CR LF", Good("\r\n"), {}},
      {"empty file", "", {}},
      {"empty value", "KV;DB;x\n1;PASS;\n", {}},
      {"Ctrl-Z only at the end", Good() + "\x1A", {}},
      {"number 0",
       Good() + "KV;DB;x\n0;X;" + EncryptHexString("x") + "\n",
       {{9, 1, "its number is 0"}}},
      {"number without digits",
       "KV;DB;x\nabc;NET8;" + EncryptHexString("n") + "\n" + Good(),
       {{1, 1, "'abc' holds no digits"},
        {3, 1, "NET8 is never read: the record at line 1"},
        {5, 1, "LOGIN is never read: the record at line 1"},
        {7, 1, "PASS is never read: the record at line 1"},
        {9, 1, "DB_SYSTEM is never read: the record at line 1"}}},
      {"entry line starting with ';'",
       "KV;DB;x\n;LOGIN;" + EncryptHexString("l") + "\n",
       {{1, 1, "number field is empty"}}},
      {"multiple of 2^32",
       Rec("4294967296", "PASS", "p") + Rec("3", "PASS", "q"),
       {{1, 1, "'4294967296' is a multiple of 2^32"},
        {3, 1, "PASS is never read: the record at line 1"}}},
      {"group line with one ';'",
       "KV;DB\n5;LOGIN;" + EncryptHexString("l") + "\n",
       {{1, 1, "fewer than two ';'"}}},
      {"empty group line",
       "\n5;LOGIN;" + EncryptHexString("l") + "\n",
       {{1, 1, "group line is empty"}}},
      {"entry line without ';' keeps the number before",
       "KV;DB;x\nnothing\n",
       {{1, 1, "left over from the record before: 0"},
        {2, 1, "'n' at character 1 is not one, and its 8 characters leave 8 over"}}},
      {"two PASS records",
       Good() + Rec("5", "PASS", "other"),
       {{9, 1, "PASS is never read: the record at line 5"}}},
      {"near-miss keys",
       Rec("1", "net8", "n") + Rec("2", "PASS ", "p"),
       {{2, 1, "'net8' is not 'NET8'"}, {4, 1, "'PASS ' is not 'PASS'"}}},
      {"odd last line", Good() + "KV;DB;x\n", {{9, 1, "single last line"}}},
      {"empty odd last line", Good() + "\n", {{9, 1, "single last line"}}},
      {"group line one character too long",
       kLong + Rec("1", "NET8", "n"),
       {{1, 1, "entry line has no ';'"},
        {1, 1, "group line of at most 199 characters"},
        {2, 1, "NET8 is never read: the record at line 1"}}},
      {"entry line too long",
       "KV;DB;x\n1;PASS;" + std::string(400, 'A') + "\n" + Rec("2", "NET8", "n"),
       {{2, 1, "an entry line of at most 399 characters"},
        {2, 400, "fewer than two ';', so its group is empty; its number field 'KV' holds no"},
        {3, 7, "'x' at character 7 is not one, and its 1 character leaves 1 over"},
        {4, 1, "single last line"}}},
      {"lower-case hex",
       "KV;DB;x\n1;PASS;" + std::string(15, 'A') + "a\n",
       {{2, 8, "'a' at character 23"}}},
      {"partial group",
       "KV;DB;x\n1;PASS;" + EncryptHexString("p") + "ABC\n",
       {{2, 8, "19 characters leave 3 over"}}},
      {"blank after value, both faults",
       "KV;DB;x\n1;PASS;" + EncryptHexString("p") + " \n",
       {{2, 8, "' ' at character 24 is not one, and its 17 characters leave 1 over"}}},
      {"carriage return before CR LF",
       "KV;DB;x\r\n1;PASS;" + EncryptHexString("p") + "\r\r\n",
       {{2, 8, "'\\x0D' at character 24"}}},
      {"value longer than the field",
       "KV;DB;x\n1;PASS;" + std::string(208, 'A') + "\n",
       {{2, 8, "208 characters; dbrunner keeps only the first 200"}}},
      {"value of an unread key is not looked at", "KV;DB;x\n1;OTHER;xyz\n", {}},
      {"last line without line end",
       "KV;DB;x\n1;PASS;" + EncryptHexString("p"),
       {{2, 1, "no line end"}}},
      {"NET8 too long for DbName",
       Rec("1", "NET8", std::string(41, 'n')),
       {{1, 1, "NET8 reads as a value of 41 characters"}}},
      {"NET8 of 40 characters fits", Rec("1", "NET8", std::string(40, 'n')), {}},
      {"zero byte", "KV;DB;x\n1;PA\0SS;00\n"s + Good(), {{2, 1, "holds a zero byte"}}},
      {"Ctrl-Z hides records",
       Rec("1", "NET8", "n") + "\x1A" + Rec("2", "PASS", "p"),
       {{3, 1, "Ctrl-Z (0x1A) ends the file"}}},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    std::vector<Finding> findings;
    ASSERT_TRUE(CheckCredentialBytes(row.file, findings));
    std::string all;
    for (const Finding& f : findings) {
      all += std::to_string(f.line) + ":" + std::to_string(f.column) + ": " + f.message + "\n";
    }
    SCOPED_TRACE(all);
    EXPECT_EQ(findings.size(), row.expected.size());
    if (findings.size() != row.expected.size()) continue;
    for (std::size_t i = 0; i < findings.size(); ++i) {
      EXPECT_EQ(findings[i].line, row.expected[i].line);
      EXPECT_EQ(findings[i].column, row.expected[i].column);
      EXPECT_NE(findings[i].message.find(row.expected[i].fragment), std::string::npos)
          << row.expected[i].fragment;
    }
  }
}

std::string Show(const std::string& file, bool reveal) {
  std::FILE* out = testing::TempFile();
  ShowCredentialBytes(file, reveal, out);
  std::string text(static_cast<std::size_t>(std::ftell(out)), '\0');
  std::rewind(out);
  text.resize(std::fread(text.data(), 1, text.size(), out));
  std::fclose(out);
  return text;
}

TEST(ShowCredentialBytes, PrintsWhatEachLookupReadsAndWhere) {
  struct Row {
    const char* name;
    std::string file;
    bool reveal;
    std::string out;
  };
  const Row kRows[] = {
      {"masked", Good(), false,
       "NET8      = 'sqlite:t.db' (line 1)\n"
       "LOGIN     = 'scott' (line 3)\n"
       "PASS      = ******** (line 5; 5 characters, --reveal shows it)\n"
       "DB_SYSTEM = 'SQLITE' (line 7)\n"},
      {"revealed, with a control character", Rec("3", "PASS", "a\tb;'"), true,
       "NET8      = '' (no record answers this lookup)\n"
       "LOGIN     = '' (no record answers this lookup)\n"
       "PASS      = 'a\\x09b;'' (line 1)\n"
       "DB_SYSTEM = '' (no record answers this lookup)\n"},
      {"a record that answers every lookup", "x\n7;LOGIN;" + EncryptHexString("u") + "\n", false,
       "NET8      = 'u' (line 1, a record with the key 'LOGIN' that answers every lookup)\n"
       "LOGIN     = 'u' (line 1)\n"
       "PASS      = ******** (line 1, a record with the key 'LOGIN' that answers every lookup; "
       "1 character, --reveal shows it)\n"
       "DB_SYSTEM = 'u' (line 1, a record with the key 'LOGIN' that answers every lookup)\n"},
      {"NET8 too long, in the rest of a split line",
       "a;G;b\n9;Y;" + std::string(395, 'A') + "x;G;y\n1;NET8;" +
           EncryptHexString(std::string(41, 'n')) + "\n",
       false,
       "NET8      = '" + std::string(41, 'n') +
           "' (line 2, character 400; 41 characters, more than DbName's 40: dbrunner leaves "
           "DbName empty)\n"
           "LOGIN     = '' (no record answers this lookup)\n"
           "PASS      = '' (no record answers this lookup)\n"
           "DB_SYSTEM = '' (no record answers this lookup)\n"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Show(row.file, row.reveal), row.out);
  }
}

}  // namespace
}  // namespace dbrunner
