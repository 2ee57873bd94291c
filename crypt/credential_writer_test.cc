// Tests for set: where a value is written, what is refused, and how the file
// is replaced on disk.
#include "crypt/credential_writer.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "credentials/credential_file.h"
#include "credentials/hex_decrypt.h"
#include "tests/test_util.h"

namespace dbrunner {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::ReadFile;
using testing::ScopedTempDir;
using testing::WriteFile;

std::string H(std::string_view plain) { return EncryptHexString(plain); }

std::string Rec(std::string_view number, std::string_view key, std::string_view plain,
                std::string_view eol = "\n") {
  return "KV;DB;x" + std::string(eol) + std::string(number) + ";" + std::string(key) + ";" +
         H(plain) + std::string(eol);
}

std::string Written(std::string_view number, std::string_view key, std::string_view plain,
                    std::string_view eol = "\n") {
  return "dbrunner-crypt;DB;" + std::string(eol) + std::string(number) + ";" + std::string(key) +
         ";" + H(plain) + std::string(eol);
}

// A new or empty file gets the platform's own line end.
#ifdef _WIN32
constexpr std::string_view kNewEol = "\r\n";
#else
constexpr std::string_view kNewEol = "\n";
#endif

TEST(PlanSetValue, ReplacesInPlaceOrAppendsKeepingEverythingElse) {
  struct Row {
    const char* name;
    std::optional<std::string> before;
    std::string_view key;
    std::string value;
    std::string after;
    std::size_t line;
    bool appended;
  };
  const std::string kThree =
      Rec("5", "NET8", "n") + Rec("12", "LOGIN", "u") + Rec("3", "PASS", "p");
  const std::string kThreeCrLf = Rec("5", "NET8", "n", "\r\n") + Rec("12", "LOGIN", "u", "\r\n") +
                                 Rec("3", "PASS", "p", "\r\n");
  const Row kRows[] = {
      {"new file", std::nullopt, "NET8", "sqlite:t.db",
       Written("1", "NET8", "sqlite:t.db", kNewEol), 1, true},
      {"empty file", "", "LOGIN", "", Written("1", "LOGIN", "", kNewEol), 1, true},
      {"replace, LF", kThree, "LOGIN", "new",
       Rec("5", "NET8", "n") + Rec("12", "LOGIN", "new") + Rec("3", "PASS", "p"), 3, false},
      {"replace, CR LF", kThreeCrLf, "PASS", "n3w",
       Rec("5", "NET8", "n", "\r\n") + Rec("12", "LOGIN", "u", "\r\n") +
           Rec("3", "PASS", "n3w", "\r\n"),
       5, false},
      {"replace all after the key's ';'", "G;A;B\r\n7;LOGIN;ABCD;XY\r\n", "LOGIN", "u",
       "G;A;B\r\n7;LOGIN;" + H("u") + "\r\n", 1, false},
      {"replace an empty value", "G;A;B\r\n7;LOGIN;\r\n", "LOGIN", "u",
       "G;A;B\r\n7;LOGIN;" + H("u") + "\r\n", 1, false},
      {"replace on a last line without line end", "G;A;B\r\n7;LOGIN;ABCD", "LOGIN", "u",
       "G;A;B\r\n7;LOGIN;" + H("u") + "\r\n", 1, false},
      {"replace despite a single last line", kThree + "G;A;B\n", "PASS", "q",
       Rec("5", "NET8", "n") + Rec("12", "LOGIN", "u") + Rec("3", "PASS", "q") + "G;A;B\n", 5,
       false},
      {"append, LF, one more than the highest number", kThree, "DB_SYSTEM", "SQLITE",
       kThree + Written("13", "DB_SYSTEM", "SQLITE"), 7, true},
      {"append, CR LF", kThreeCrLf, "DB_SYSTEM", "SQLITE",
       kThreeCrLf + Written("13", "DB_SYSTEM", "SQLITE", "\r\n"), 7, true},
      {"append after a last line without line end that no lookup reads", "G;A;B\n1;OTHER;ABCD",
       "PASS", "p", "G;A;B\n1;OTHER;ABCD\n" + Written("2", "PASS", "p"), 3, true},
      {"append before Ctrl-Z", Rec("1", "NET8", "n") + "\x1A" + "rest\n", "PASS", "p",
       Rec("1", "NET8", "n") + Written("2", "PASS", "p") + "\x1A" + "rest\n", 3, true},
      {"highest number taken", Rec("2147483647", "NET8", "n") + Rec("1", "LOGIN", "u"), "PASS", "p",
       Rec("2147483647", "NET8", "n") + Rec("1", "LOGIN", "u") + Written("2", "PASS", "p"), 5,
       true},
      {"longest value", std::nullopt, "PASS", std::string(96, 'p'),
       Written("1", "PASS", std::string(96, 'p'), kNewEol), 1, true},
      {"longest NET8", std::nullopt, "NET8", std::string(40, 'n'),
       Written("1", "NET8", std::string(40, 'n'), kNewEol), 1, true},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    SetPlan plan;
    std::string error;
    ASSERT_TRUE(PlanSetValue(row.before, row.key, row.value, plan, error)) << error;
    EXPECT_EQ(plan.bytes, row.after);
    EXPECT_EQ(plan.line, row.line);
    EXPECT_EQ(plan.appended, row.appended);
    // And read back the way dbrunner reads it.
    CryptRecord record;
    GetCryptValue("", row.key, 0, ApplyTextMode(plan.bytes), record);
    EXPECT_EQ(record.value, row.value);
  }
}

TEST(PlanSetValue, RefusesWhatWouldNotReadBackAsMeant) {
  struct Row {
    const char* name;
    std::string before;
    std::string_view key;
    std::string value;
    std::string_view error;
  };
  const Row kRows[] = {
      {"a record that answers every lookup comes first", Rec("0", "NET8", "n"), "PASS", "p",
       "line 1: the record there answers every lookup"},
      {"the key's own record answers every lookup", "x\n5;PASS;" + H("p") + "\n", "PASS", "q",
       "line 1: the record there answers every lookup"},
      {"a single last line before an append", Rec("1", "NET8", "n") + "G;A;B\n", "PASS", "p",
       "line 3: a single last line"},
      {"the last line, read for LOGIN, has no line end", "G;A;B\n7;LOGIN;" + H("u"), "PASS", "p",
       "line 2: the file's last line has no line end, so dbrunner reads the value there (for "
       "LOGIN)"},
      {"zero byte before the line end", "G;A;B\n5;PASS;AB\0CD\n"s, "PASS", "p",
       "line 2: the entry line holds a zero byte"},
      {"entry line cut by the reader", "G;A;B\n5;PASS;" + std::string(400, 'A') + "\n", "PASS", "p",
       "line 2: the entry line is longer than the 399 characters"},
      {"new value would make the line too long",
       "G;A;B\n" + std::string(300, '0') + "1;PASS;" + H("p") + "\n", "PASS", std::string(96, 'p'),
       "line 2: with the new value the entry line would be longer"},
      {"value too long", "", "PASS", std::string(97, 'p'), "97 characters; dbrunner reads 96"},
      {"NET8 too long for DbName", "", "NET8", std::string(41, 'n'),
       "the NET8 value has 41 characters"},
      {"zero byte in the value", "", "PASS", "a\0b"s, "zero byte"},
      {"a key dbrunner does not read", "", "net8", "n", "KEY must be NET8, LOGIN, PASS or"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    SetPlan plan;
    std::string error;
    EXPECT_FALSE(PlanSetValue(row.before, row.key, row.value, plan, error));
    EXPECT_NE(error.find(row.error), std::string::npos) << error;
    EXPECT_TRUE(plan.bytes.empty());
  }
}

// POSIX modes and symbolic links; Windows has neither in this form.
#ifndef _WIN32
mode_t Mode(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0);
  return info.st_mode & 07777;
}

TEST(ReplaceFileContents, KeepsPermissionsAndCreatesFilesForTheOwnerOnly) {
  ScopedTempDir dir;
  const fs::path existing = dir.path() / "kv.ini";
  WriteFile(existing, "old\n");
  fs::permissions(existing, fs::perms(0640));
  std::string error;
  ASSERT_TRUE(ReplaceFileContents(existing, "new\r\n", error)) << error;
  EXPECT_EQ(ReadFile(existing), "new\r\n");
  EXPECT_EQ(Mode(existing), 0640u);

  const fs::path created = dir.path() / "new.ini";
  ASSERT_TRUE(ReplaceFileContents(created, "x\n", error)) << error;
  EXPECT_EQ(Mode(created), 0600u);

  // Through a symbolic link the file it points to gets the new contents.
  const fs::path link = dir.path() / "link.ini";
  fs::create_symlink("kv.ini", link);
  ASSERT_TRUE(ReplaceFileContents(link, "via link\n", error)) << error;
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
  EXPECT_EQ(ReadFile(existing), "via link\n");

  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
}
#endif  // _WIN32

TEST(ReplaceFileContents, FailureLeavesEverythingAsItWas) {
  // Root may write anywhere, so the failures are made by the file system's
  // shape: a folder that is a regular file, and a target that is a folder.
  ScopedTempDir dir;
  WriteFile(dir.path() / "plain", "plain\n");
  fs::create_directory(dir.path() / "folder");
  WriteFile(dir.path() / "folder" / "inside", "inside\n");
  const fs::path kTargets[] = {dir.path() / "plain" / "kv.ini", dir.path() / "folder"};
  for (const fs::path& target : kTargets) {
    SCOPED_TRACE(target);
    std::string error;
    EXPECT_FALSE(ReplaceFileContents(target, "new\n", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFile(dir.path() / "plain"), "plain\n");
    EXPECT_EQ(ReadFile(dir.path() / "folder" / "inside"), "inside\n");
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
    EXPECT_EQ(
        std::distance(fs::directory_iterator(dir.path() / "folder"), fs::directory_iterator()), 1);
  }
}

TEST(ReadWholeFile, TellsMissingFromUnreadable) {
  ScopedTempDir dir;
  WriteFile(dir.path() / "kv.ini", "a\r\n\x1A");
  std::string bytes;
  std::string error;
  EXPECT_EQ(ReadWholeFile(dir.path() / "kv.ini", bytes, error), ReadStatus::kRead);
  EXPECT_EQ(bytes, "a\r\n\x1A");
  EXPECT_EQ(ReadWholeFile(dir.path() / "none", bytes, error), ReadStatus::kMissing);
  EXPECT_EQ(ReadWholeFile(dir.path(), bytes, error), ReadStatus::kFailed);
  EXPECT_EQ(error, "it is a folder");
}

}  // namespace
}  // namespace dbrunner
