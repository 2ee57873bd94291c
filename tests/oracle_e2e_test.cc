// End to end with a net service name: the built program finds the stand-in
// client library (tests/fake_oci) through LD_LIBRARY_PATH, as it would find
// an installed Oracle client.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "credentials/hex_decrypt.h"
#include "tests/test_util.h"

namespace dbrunner {
namespace {

using testing::ProcessResult;
using testing::ScopedTempDir;
using testing::WriteFile;

// Sets an environment variable for the programs this test starts, and puts
// the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::string Record(int number, const std::string& key, const std::string& value) {
  return "KORVALDEN;DB;x\n" + std::to_string(number) + ";" + key + ";" + EncryptHexString(value) +
         "\n";
}

class OracleEndToEnd : public ::testing::Test {
 protected:
  OracleEndToEnd()
      : library_path_("LD_LIBRARY_PATH", FAKE_OCI_DIR),
        script_("FAKE_OCI_SCRIPT", dir_.File("script")),
        log_("FAKE_OCI_LOG", dir_.File("log")) {
    WriteCredentials("KORV11");
    WriteFile(dir_.File("DBRUNNER.ORA.INI"),
              "[S]\nSQL001=UPDATE T SET A = '$parm02'\nSQL002=WHERE ID = $parm01\n");
    WriteFile(dir_.File("script"), "");
  }

  void SetUp() override {
    // A Windows build under Wine would look for oci.dll, not this library.
    const char* windows_build = std::getenv("DBRUNNER_TEST_PROGRAM_DIR");
    if (windows_build != nullptr && *windows_build != '\0') {
      GTEST_SKIP() << "the stand-in client is a Linux library";
    }
  }

  void WriteCredentials(const std::string& net8) {
    WriteFile(dir_.File("kv.ini"), Record(1, "NET8", net8) + Record(2, "LOGIN", "scott") +
                                       Record(3, "PASS", "p/w@x;'\" y") +
                                       Record(4, "DB_SYSTEM", "ORA"));
  }

  ProcessResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), DBRUNNER_BINARY);
    return testing::RunProcess(args, dir_.path());
  }

  std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    std::istringstream log(testing::ReadFile(dir_.File("log")));
    for (std::string line; std::getline(log, line);) calls.push_back(line);
    return calls;
  }
  bool Called(const std::string& call) {
    const std::vector<std::string> calls = Calls();
    return std::find(calls.begin(), calls.end(), call) != calls.end();
  }

  ScopedTempDir dir_;
  ScopedEnv library_path_;
  ScopedEnv script_;
  ScopedEnv log_;
};

TEST_F(OracleEndToEnd, RunsTheStatementAndCommits) {
  ProcessResult r = Run({"S", "kv.ini", "17", "new value"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  const std::vector<std::string> calls = Calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front(), "[loaded]");
  EXPECT_TRUE(Called("OCIServerAttach(srv1, \"KORV11\", mode=0)"));
  EXPECT_TRUE(Called("OCIAttrSet(ses1, USERNAME, \"scott\")"));
  EXPECT_TRUE(Called("OCIAttrSet(ses1, PASSWORD, \"p/w@x;'\" y\")"));
  EXPECT_TRUE(Called(
      "OCIStmtPrepare2(svc1, \"ALTER SESSION SET CURRENT_SCHEMA=ZIZIVUZA\", syntax=1, mode=0) = "
      "stm1"));
  EXPECT_TRUE(Called(
      "OCIStmtPrepare2(svc1, \" UPDATE T SET A = 'new value' WHERE ID = 17\", syntax=1, mode=0) = "
      "stm2"));
  EXPECT_TRUE(Called("OCITransCommit(svc1, flags=0)"));
  EXPECT_FALSE(Called("OCITransRollback(svc1, flags=0)"));
  EXPECT_EQ(calls.back(), "OCIHandleFree(env1)");
}

TEST_F(OracleEndToEnd, OraErrorsBecomeStatuses) {
  struct Row {
    const char* name;
    const char* script;
    int exit_code;
    std::string out;
    bool rolled_back;
  };
  const Row kRows[] = {
      // -942: only the low byte reaches the shell.
      {"table missing", "OCIStmtExecute 2 OCI_ERROR 942 ORA-00942: table or view does not exist",
       82, "", true},
      {"wrong password", "OCISessionBegin 1 OCI_ERROR 1017", 7, "dbConnect_Status: -1017\n", false},
      {"unknown net service name", "OCIServerAttach 1 OCI_ERROR 12154", 134,
       "dbConnect_Status: -12154\n", false},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    WriteFile(dir_.File("script"), row.script);
    WriteFile(dir_.File("log"), "");
    ProcessResult r = Run({"S", "kv.ini", "17", "x"});
    EXPECT_EQ(r.exit_code, row.exit_code);
    EXPECT_EQ(r.out, row.out);
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(Called("OCITransCommit(svc1, flags=0)"));
    EXPECT_EQ(Called("OCITransRollback(svc1, flags=0)"), row.rolled_back);
    ASSERT_FALSE(Calls().empty());
    EXPECT_EQ(Calls().back(), "OCIHandleFree(env1)");
  }
}

TEST_F(OracleEndToEnd, MissingClientLibrary) {
  ScopedTempDir empty;
  ScopedEnv no_client("LD_LIBRARY_PATH", empty.path().string());
  ProcessResult r = Run({"S", "kv.ini", "17", "x"});
  EXPECT_EQ(r.exit_code, 241);  // -9999
  EXPECT_EQ(r.out, "dbConnect_Status: -9999\n");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("log")));
}

// The client library is loaded only for a net service name; with it on the
// library path, runs on other backends still never map it.
TEST_F(OracleEndToEnd, OtherBackendsNeverLoadTheClient) {
  for (const char* net8 : {"sqlite:t.db", "pg:service", "odbc:dsn"}) {
    SCOPED_TRACE(net8);
    WriteCredentials(net8);
    ProcessResult r = Run({"S", "kv.ini", "17", "x"});
    EXPECT_NE(r.exit_code, 0);  // none of them has a database here
    EXPECT_FALSE(std::filesystem::exists(dir_.File("log")));
  }
}

}  // namespace
}  // namespace dbrunner
