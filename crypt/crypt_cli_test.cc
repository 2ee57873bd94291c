// Tests for the dbrunner-crypt commands as a user calls them: arguments,
// standard input, output, messages and exit statuses.
#include "crypt/crypt_cli.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
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

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Drain(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    text.append(buffer, got);
  }
  std::fclose(file);
  return text;
}

Result RunCrypt(const std::vector<std::string>& args, std::string_view input = "") {
  std::FILE* in = testing::TempFile();
  std::FILE* out = testing::TempFile();
  std::FILE* err = testing::TempFile();
  std::fwrite(input.data(), 1, input.size(), in);
  std::rewind(in);
  const std::vector<std::string_view> views(args.begin(), args.end());
  Result result;
  result.status = RunCryptCommand(views, in, out, err);
  std::fclose(in);
  result.out = Drain(out);
  result.err = Drain(err);
  return result;
}

std::string ReadBack(const std::string& path, std::string_view key) {
  CryptRecord record;
  GetCryptValue("", key, 0, ReadCredentialFile(path), record);
  return record.value;
}

TEST(CryptCommand, EncryptAndDecryptRoundTrip) {
  const std::string kTexts[] = {
      "", "a", "12345678", "123456789", std::string(96, 'x'), "p w;'\"\\\xE4\x01"};
  for (const std::string& text : kTexts) {
    SCOPED_TRACE(text);
    const Result encrypted = RunCrypt({"encrypt", text});
    ASSERT_EQ(encrypted.status, kCryptExitOk) << encrypted.err;
    const std::string hex = encrypted.out.substr(0, encrypted.out.size() - 1);
    EXPECT_EQ(encrypted.out, hex + "\n");
    EXPECT_EQ(hex.size(), (text.size() + 7) / 8 * 16);
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    // The same through standard input, with either line end.
    EXPECT_EQ(RunCrypt({"encrypt", "-"}, text + "\r\nignored\n").out, encrypted.out);
    EXPECT_EQ(RunCrypt({"encrypt", "-"}, text + "\n").out, encrypted.out);

    const Result decrypted = RunCrypt({"decrypt", hex});
    EXPECT_EQ(decrypted.status, kCryptExitOk);
    EXPECT_EQ(decrypted.out, text + "\n");
    EXPECT_EQ(decrypted.err, "");
  }
}

TEST(CryptCommand, DecryptReadsLikeDbrunnerAndSaysWhenTheTextIsOdd) {
  const std::string hex = EncryptHexString("abcdefgh");
  const Result partial = RunCrypt({"decrypt", hex + "12"});
  EXPECT_EQ(partial.status, kCryptExitOk);
  EXPECT_EQ(partial.out, "abcdefgh\n");
  EXPECT_NE(partial.err.find("note: the text is not whole 16-digit groups"), std::string::npos);
}

TEST(CryptCommand, RefusalsAndUsageErrors) {
  struct Row {
    std::vector<std::string> args;
    std::string input;
    std::string_view error;
  };
  const Row kRows[] = {
      {{}, "", "Usage: dbrunner-crypt COMMAND"},
      {{"frobnicate"}, "", "unknown command 'frobnicate'"},
      {{"encrypt"}, "", "usage: dbrunner-crypt encrypt TEXT|-"},
      {{"set", "kv.ini", "PASS"}, "", "usage: dbrunner-crypt set FILE KEY VALUE|-"},
      {{"show", "a", "b"}, "", "show takes one FILE"},
      {{"show", "--reveal"}, "", "show needs FILE"},
      {{"encrypt", std::string(97, 'x')}, "", "97 characters; dbrunner reads 96 at most"},
      {{"encrypt", "-"}, "a\0b\n"s, "zero byte"},
      {{"encrypt", "-"}, "", "nothing to read on standard input"},
      {{"show", "/nonexistent/kv.ini"}, "", "cannot read /nonexistent/kv.ini: no such file"},
      {{"check", "/"}, "", "cannot read /: it is a folder"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.args.empty() ? "" : row.args[0]);
    const Result result = RunCrypt(row.args, row.input);
    EXPECT_EQ(result.status, kCryptExitError);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find(row.error), std::string::npos) << result.err;
  }
}

TEST(CryptCommand, HelpForTheProgramAndEachCommand) {
  struct Row {
    std::vector<std::string> args;
    std::string_view begins;
    bool mentions_standard_input;
  };
  const Row kRows[] = {
      {{"--help"}, "Usage: dbrunner-crypt COMMAND", true},
      {{"-h"}, "Usage: dbrunner-crypt COMMAND", true},
      {{"encrypt", "--help"}, "Usage: dbrunner-crypt encrypt TEXT|-", true},
      {{"decrypt", "--help"}, "Usage: dbrunner-crypt decrypt HEX", false},
      {{"set", "-h"}, "Usage: dbrunner-crypt set FILE KEY VALUE|-", true},
      {{"show", "--help"}, "Usage: dbrunner-crypt show FILE [--reveal]", false},
      {{"check", "--help"}, "Usage: dbrunner-crypt check FILE", false},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.args[0]);
    const Result result = RunCrypt(row.args);
    EXPECT_EQ(result.status, kCryptExitOk);
    EXPECT_EQ(result.out.rfind(row.begins, 0), 0u) << result.out;
    EXPECT_EQ(result.out.find("standard input") != std::string::npos, row.mentions_standard_input);
  }
  // Further on, "--help" is a value like any other.
  const Result value = RunCrypt({"set", "/nonexistent/kv.ini", "PASS", "--help"});
  EXPECT_EQ(value.status, kCryptExitError);
  EXPECT_EQ(value.out, "");
}

class CryptFileCommand : public ::testing::Test {
 protected:
  std::size_t FilesInDir() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()));
  }

  ScopedTempDir dir_;
  const std::string file_ = dir_.File("kv.ini");
};

TEST_F(CryptFileCommand, SetCreatesReplacesAndAppends) {
  Result r = RunCrypt({"set", file_, "NET8", "sqlite:t.db"});
  EXPECT_EQ(r.status, kCryptExitOk) << r.err;
  EXPECT_EQ(r.out, file_ + ": created, with NET8 at line 1\n");
  r = RunCrypt({"set", file_, "PASS", "-"}, "pa ss;'\"\r\n");
  EXPECT_EQ(r.out, file_ + ": PASS added as a new record at line 3\n");
  r = RunCrypt({"set", file_, "NET8", "sqlite:u.db"});
  EXPECT_EQ(r.out, file_ + ": NET8 replaced in the record at line 1\n");
  EXPECT_EQ(ReadBack(file_, "NET8"), "sqlite:u.db");
  EXPECT_EQ(ReadBack(file_, "PASS"), "pa ss;'\"");
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(CryptFileCommand, RefusedSetLeavesTheFileUnchanged) {
  const std::string before = "KV;DB;x\r\n1;NET8;" + EncryptHexString("n") + "\r\n" +
                             "KV;DB;x\r\n0;OLD;" + EncryptHexString("o") + "\r\n";
  struct Row {
    std::vector<std::string> args;
    std::string input;
    std::string_view error;
  };
  const Row kRows[] = {
      {{"set", file_, "PASS", std::string(97, 'p')}, "", "97 characters"},
      {{"set", file_, "NET8", std::string(41, 'n')}, "", "41 characters"},
      {{"set", file_, "Pass", "p"}, "", "KEY must be"},
      {{"set", file_, "PASS", "-"}, "a\0b\n"s, "zero byte"},
      {{"set", file_, "PASS", "p"}, "", "line 3: the record there answers every lookup"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.args[2]);
    WriteFile(file_, before);
    const Result r = RunCrypt(row.args, row.input);
    EXPECT_EQ(r.status, kCryptExitError);
    EXPECT_EQ(r.err.rfind("dbrunner-crypt: " + file_ + ": ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(row.error), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(file_), before);
    EXPECT_EQ(FilesInDir(), 1u);
  }
  // Nothing is created where the folder is a regular file.
  WriteFile(dir_.File("plain"), "");
  const Result r = RunCrypt({"set", dir_.File("plain") + "/kv.ini", "PASS", "p"});
  EXPECT_EQ(r.status, kCryptExitError);
  EXPECT_NE(r.err.find("nothing was written"), std::string::npos) << r.err;
}

TEST_F(CryptFileCommand, CheckReportsWithPlacesAndExitStatus) {
  WriteFile(file_, "KV;DB;x\n1;PASS;" + EncryptHexString("p") + "abc\n");
  Result r = RunCrypt({"check", file_});
  EXPECT_EQ(r.status, kCryptExitFindings);
  EXPECT_EQ(r.out, file_ +
                       ":2:8: the value text is not whole 16-digit groups of upper-case hex "
                       "digits: 'a' at character 24 is not one, and its 19 characters leave 3 "
                       "over, which dbrunner ignores\n");

  WriteFile(file_, "KV;DB;x\n0;PASS;\n");
  r = RunCrypt({"check", file_});
  EXPECT_EQ(r.status, kCryptExitFindings);
  EXPECT_EQ(r.out, file_ +
                       ":1: this record answers every lookup (NET8, LOGIN, PASS, DB_SYSTEM) "
                       "whatever its key: its number is 0\n");

  ASSERT_EQ(RunCrypt({"set", file_ + ".new", "PASS", "p"}).status, kCryptExitOk);
  r = RunCrypt({"check", file_ + ".new"});
  EXPECT_EQ(r.status, kCryptExitOk);
  EXPECT_EQ(r.out, file_ + ".new: nothing to report\n");
}

}  // namespace
}  // namespace dbrunner
