// Both programs as built: what dbrunner-crypt set writes is what a diagnostic
// run of dbrunner reads, and the file's other records stay as they were.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_util.h"

namespace dbrunner {
namespace {

using testing::ProcessResult;
using testing::ReadFile;
using testing::RunProcess;
using testing::ScopedTempDir;
using testing::WriteFile;

TEST(CryptRoundTrip, DbrunnerReadsWhatSetWrote) {
  struct Row {
    std::string net8;
    std::string login;
    std::string password;
    std::string db_sys;
  };
  // DbName names a database file that does not exist: the run stops at the
  // connect, after its diagnostic output has shown the four values.
  const Row kRows[] = {
      {"sqlite:missing.db", "scott", "p w;'\"x", "SQLITE"},
      {"sqlite:" + std::string(33, 'm'), "gr\xFC\xDF " + std::string(90, 'u'),
       std::string(95, 'p') + "%", "SQLITE"},
  };
  // A file as the product writes it, CR LF, with a record nobody looks up and
  // an old LOGIN that set replaces in place.
  const std::string kOther = "KORVALDEN;APP;x\r\n10;THEME;0011223344556677\r\n";
  const std::string kOldLogin = "KORVALDEN;DB;x\r\n11;LOGIN;8899AABBCCDDEEFF\r\n";
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.net8);
    ScopedTempDir dir;
    WriteFile(dir.File("kv.ini"), kOther + kOldLogin);
    const auto crypt = [&](const std::vector<std::string>& args) {
      std::vector<std::string> argv = {DBRUNNER_CRYPT_BINARY};
      argv.insert(argv.end(), args.begin(), args.end());
      const ProcessResult r = RunProcess(argv, dir.path());
      EXPECT_EQ(r.exit_code, 0) << r.err;
    };
    crypt({"set", "kv.ini", "NET8", row.net8});
    crypt({"set", "kv.ini", "LOGIN", row.login});
    crypt({"set", "kv.ini", "DB_SYSTEM", row.db_sys});
    // The password through standard input, as the help advises.
    const ProcessResult piped =
        RunProcess({"/bin/sh", "-c", "printf '%s\\r\\n' \"$1\" | \"$0\" set kv.ini PASS -",
                    DBRUNNER_CRYPT_BINARY, row.password},
                   dir.path());
    EXPECT_EQ(piped.exit_code, 0) << piped.err;

    const std::string file = ReadFile(dir.path() / "kv.ini");
    // Replaced in place: all but the LOGIN value is kept byte for byte.
    const std::string kept = kOther + kOldLogin.substr(0, kOldLogin.rfind(';') + 1);
    EXPECT_EQ(file.substr(0, kept.size()), kept);
    // Every line, the new ones included, ends in CR LF.
    std::size_t line_ends = 0;
    for (std::size_t i = file.find('\n'); i != std::string::npos; i = file.find('\n', i + 1)) {
      EXPECT_EQ(file[i - 1], '\r') << i;
      ++line_ends;
    }
    EXPECT_EQ(line_ends, 10u);

    const ProcessResult run = RunProcess({DBRUNNER_BINARY, "S", "kv.ini", "/D"}, dir.path());
    EXPECT_NE(run.exit_code, 0);
    EXPECT_NE(run.out.find("  DbSys    = '" + row.db_sys + "'\n" + "  DbName   = '" + row.net8 +
                           "'\n" + "  Benutzer = '" + row.login + "'\n" + "  Passwort = '" +
                           row.password + "'\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("dbConnect_Status: -14\n"), std::string::npos) << run.out;
  }
}

}  // namespace
}  // namespace dbrunner
