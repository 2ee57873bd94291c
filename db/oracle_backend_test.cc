// Tests of the Oracle backend against the stand-in client library
// (tests/fake_oci), which logs every OCI call and answers from a script.
#include "db/oracle_backend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "db/backend.h"
#include "db/dbrunner_sql.h"
#include "db/sqlhlp.h"
#include "tests/test_util.h"

namespace dbrunner {
namespace {

using testing::ScopedTempDir;

constexpr char kSchema[] = "ZIZIVUZA";

class OracleBackendTest : public ::testing::Test {
 protected:
  OracleBackendTest() {
    // The stand-in reads these; dbrunner itself reads no environment.
    setenv("FAKE_OCI_SCRIPT", dir_.File("script").c_str(), 1);
    setenv("FAKE_OCI_LOG", dir_.File("log").c_str(), 1);
    Script("");
    session_.factory = [](std::string_view db_name) {
      return BackendChoice{NewOracleBackendLoading(FAKE_OCI_LIBRARY), std::string(db_name),
                           "oracle"};
    };
  }
  ~OracleBackendTest() override {
    unsetenv("FAKE_OCI_SCRIPT");
    unsetenv("FAKE_OCI_LOG");
  }

  void Script(const std::string& rules) { testing::WriteFile(dir_.File("script"), rules); }

  // The logged calls, without the load marker.
  std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    std::istringstream log(testing::ReadFile(dir_.File("log")));
    for (std::string line; std::getline(log, line);) {
      if (line != "[loaded]") calls.push_back(line);
    }
    return calls;
  }

  // The calls that open, change and end the session and its transaction,
  // by name, e.g. "ServerAttach SessionBegin StmtExecute TransCommit".
  std::string Events() {
    std::string events;
    for (const std::string& call : Calls()) {
      const std::string name = call.substr(3, call.find('(') - 3);
      for (const char* event : {"ServerAttach", "SessionBegin", "StmtExecute", "TransCommit",
                                "TransRollback", "SessionEnd", "ServerDetach"}) {
        if (name == event) events += (events.empty() ? "" : " ") + name;
      }
    }
    return events;
  }

  // Every handle was freed or released, the environment last, and the
  // stand-in refused no call.
  void ExpectCleanEnd() {
    const std::vector<std::string> calls = Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "OCIHandleFree(env1)");
    for (const std::string& call : calls)
      EXPECT_EQ(call.find("refused"), std::string::npos) << call;
  }

  ScopedTempDir dir_;
  DbSession session_;
};

TEST_F(OracleBackendTest, CallSequenceOfARun) {
  ASSERT_EQ(dbConnect(session_, "scott", "p/w@x", "KORV11", kSchema), 0);
  // Passed whole: the leading blank and the ";" reach the client.
  ASSERT_EQ(dbExecute(session_, " UPDATE T SET A = 1 WHERE ID = 17;"), 0);
  ASSERT_EQ(dbCommit(session_), 1);
  session_.backend.reset();

  const std::vector<std::string> expected = {
      "OCIEnvCreate(mode=0) = env1",
      "OCIHandleAlloc(env1, err) = err1",
      "OCIHandleAlloc(env1, srv) = srv1",
      "OCIHandleAlloc(env1, svc) = svc1",
      "OCIHandleAlloc(env1, ses) = ses1",
      "OCIServerAttach(srv1, \"KORV11\", mode=0)",
      "OCIAttrSet(svc1, SERVER, srv1)",
      "OCIAttrSet(svc1, CALL_TIMEOUT, 60000)",
      "OCIAttrSet(ses1, USERNAME, \"scott\")",
      "OCIAttrSet(ses1, PASSWORD, \"p/w@x\")",
      "OCISessionBegin(svc1, ses1, RDBMS, mode=0)",
      "OCIAttrSet(svc1, SESSION, ses1)",
      "OCIStmtPrepare2(svc1, \"ALTER SESSION SET CURRENT_SCHEMA=ZIZIVUZA\", syntax=1, mode=0) = "
      "stm1",
      "OCIAttrGet(stm1, STMT_TYPE) = 7",
      "OCIStmtExecute(svc1, stm1, iters=1, rowoff=0, mode=0)",
      "OCIStmtRelease(stm1)",
      "OCIAttrSet(svc1, CALL_TIMEOUT, 900000)",
      "OCIStmtPrepare2(svc1, \" UPDATE T SET A = 1 WHERE ID = 17;\", syntax=1, mode=0) = stm2",
      "OCIAttrGet(stm2, STMT_TYPE) = 2",
      "OCIStmtExecute(svc1, stm2, iters=1, rowoff=0, mode=0)",
      "OCIStmtRelease(stm2)",
      "OCIAttrSet(svc1, CALL_TIMEOUT, 60000)",
      "OCITransCommit(svc1, flags=0)",
      "OCISessionEnd(svc1, ses1)",
      "OCIServerDetach(srv1)",
      "OCIHandleFree(ses1)",
      "OCIHandleFree(svc1)",
      "OCIHandleFree(srv1)",
      "OCIHandleFree(err1)",
      "OCIHandleFree(env1)",
  };
  EXPECT_EQ(Calls(), expected);
}

// Each row scripts the client's answers, then runs connect, execute and
// commit as the run sequence does (execute and commit only after a good
// connect) and ends the session.
TEST_F(OracleBackendTest, StatusesRollbacksAndCleanEnds) {
  struct Row {
    const char* name;
    const char* script;
    std::int32_t connect;
    std::int32_t execute;
    std::int32_t commit;
    const char* events;
    const char* last_error;  // null: not checked
  };
  const Row kRows[] = {
      {"unknown net service name", "OCIServerAttach 1 OCI_ERROR 12154", -12154, 0, 0,
       "ServerAttach", "ORA-12154: scripted"},
      {"wrong password",
       "OCISessionBegin 1 OCI_ERROR 1017 ORA-01017: invalid username/password; logon denied", -1017,
       0, 0, "ServerAttach SessionBegin ServerDetach",
       "ORA-01017: invalid username/password; logon denied"},
      {"password expires soon", "OCISessionBegin 1 OCI_SUCCESS_WITH_INFO 28002", 0, 0, 0,
       "ServerAttach SessionBegin StmtExecute StmtExecute TransCommit SessionEnd ServerDetach",
       nullptr},
      {"unknown schema", "OCIStmtExecute 1 OCI_ERROR 1435", -1435, 0, 0,
       "ServerAttach SessionBegin StmtExecute SessionEnd ServerDetach", nullptr},
      {"table missing", "OCIStmtExecute 2 OCI_ERROR 942 ORA-00942: table or view does not exist", 0,
       -942, -942,
       "ServerAttach SessionBegin StmtExecute StmtExecute TransRollback SessionEnd ServerDetach",
       "ORA-00942: table or view does not exist"},
      {"no rows matched", "OCIStmtExecute 2 OCI_NO_DATA", 0, 0, 0,
       "ServerAttach SessionBegin StmtExecute StmtExecute TransCommit SessionEnd ServerDetach",
       nullptr},
      {"commit fails", "OCITransCommit 1 OCI_ERROR 2091", 0, 0, -2091,
       "ServerAttach SessionBegin StmtExecute StmtExecute TransCommit TransRollback SessionEnd "
       "ServerDetach",
       "ORA-02091: scripted"},
      {"invalid handle", "OCIStmtExecute 2 OCI_INVALID_HANDLE", 0, -9998, -9998,
       "ServerAttach SessionBegin StmtExecute StmtExecute TransRollback SessionEnd ServerDetach",
       "OCI_INVALID_HANDLE"},
      {"error without record", "OCIStmtExecute 2 OCI_ERROR", 0, -9998, -9998,
       "ServerAttach SessionBegin StmtExecute StmtExecute TransRollback SessionEnd ServerDetach",
       "the client returned -1 without an error record"},
      {"environment fails", "OCIEnvCreate 1 OCI_ERROR 12705", -12705, 0, 0, "",
       "ORA-12705: scripted"},
      {"handle allocation fails", "OCIHandleAlloc 3 OCI_INVALID_HANDLE", -9998, 0, 0, "", nullptr},
      // Connection lost: the rollback fails too, so the session is not ended
      // cleanly over open work; the detach drops it.
      {"rollback fails", "OCIStmtExecute 2 OCI_ERROR 3113\nOCITransRollback * OCI_ERROR 3114", 0,
       -3113, -3113,
       "ServerAttach SessionBegin StmtExecute StmtExecute TransRollback TransRollback ServerDetach",
       nullptr},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    Script(row.script);
    testing::WriteFile(dir_.File("log"), "");
    std::int32_t execute = 0;
    std::int32_t commit = 0;
    const std::int32_t connect = dbConnect(session_, "scott", "tiger", "KORV11", kSchema);
    if (connect == 0) {
      execute = dbExecute(session_, " UPDATE T SET A = 1");
      static_cast<void>(dbCommit(session_, &commit));
    }
    const std::string last_error = session_.backend->LastError();
    session_.backend.reset();
    EXPECT_EQ(connect, row.connect);
    EXPECT_EQ(execute, row.execute);
    EXPECT_EQ(commit, row.commit);
    EXPECT_EQ(Events(), row.events);
    if (row.last_error != nullptr) {
      EXPECT_EQ(last_error, row.last_error);
    }
    ExpectCleanEnd();
  }
}

// A client before 18.1 refuses the call timeout: tried once, then the run
// goes on without it.
TEST_F(OracleBackendTest, ClientWithoutCallTimeoutStillRuns) {
  Script("OCIAttrSet.CALL_TIMEOUT * OCI_ERROR 24315");
  ASSERT_EQ(dbConnect(session_, "scott", "tiger", "KORV11", kSchema), 0);
  EXPECT_EQ(dbExecute(session_, " UPDATE T SET A = 1"), 0);
  EXPECT_EQ(dbCommit(session_), 1);
  session_.backend.reset();
  int timeouts = 0;
  for (const std::string& call : Calls()) {
    if (call.find("CALL_TIMEOUT") != std::string::npos) ++timeouts;
  }
  EXPECT_EQ(timeouts, 1);
  EXPECT_EQ(
      Events(),
      "ServerAttach SessionBegin StmtExecute StmtExecute TransCommit SessionEnd ServerDetach");
  ExpectCleanEnd();
}

TEST_F(OracleBackendTest, SessionEndedWithoutCommitIsRolledBack) {
  ASSERT_EQ(dbConnect(session_, "scott", "tiger", "KORV11", kSchema), 0);
  ASSERT_EQ(dbExecute(session_, " DELETE FROM T"), 0);
  session_.backend.reset();
  EXPECT_EQ(
      Events(),
      "ServerAttach SessionBegin StmtExecute StmtExecute TransRollback SessionEnd ServerDetach");
  ExpectCleanEnd();
}

// "/@name" logged the legacy tool on by operating system or wallet.
TEST_F(OracleBackendTest, EmptyUserAndPasswordAuthenticateExternally) {
  ASSERT_EQ(dbConnect(session_, "", "", "KORV11", kSchema), 0);
  session_.backend.reset();
  for (const std::string& call : Calls()) {
    EXPECT_EQ(call.find("USERNAME"), std::string::npos);
    EXPECT_EQ(call.find("PASSWORD"), std::string::npos);
  }
  const std::vector<std::string> calls = Calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "OCISessionBegin(svc1, ses1, EXT, mode=0)"),
            calls.end());
  ExpectCleanEnd();
}

// The stand-in refuses a query executed with iters other than 0 and any other
// statement executed with iters 0, as the client does.
TEST_F(OracleBackendTest, QueriesRunWithoutFetchingOthersOnce) {
  struct Row {
    const char* statement;
    const char* execute;
  };
  const Row kRows[] = {
      {" SELECT A FROM T FOR UPDATE", "OCIStmtExecute(svc1, stm2, iters=0, rowoff=0, mode=0)"},
      {" WITH x AS (SELECT 1 FROM DUAL) SELECT * FROM x",
       "OCIStmtExecute(svc1, stm2, iters=0, rowoff=0, mode=0)"},
      {" MERGE INTO T USING DUAL ON (1 = 0) WHEN NOT MATCHED THEN INSERT (A) VALUES (1)",
       "OCIStmtExecute(svc1, stm2, iters=1, rowoff=0, mode=0)"},
      {" BEGIN NULL; END;", "OCIStmtExecute(svc1, stm2, iters=1, rowoff=0, mode=0)"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.statement);
    testing::WriteFile(dir_.File("log"), "");
    ASSERT_EQ(dbConnect(session_, "scott", "tiger", "KORV11", kSchema), 0);
    EXPECT_EQ(dbExecute(session_, row.statement), 0);
    EXPECT_EQ(dbCommit(session_), 1);
    session_.backend.reset();
    const std::vector<std::string> calls = Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), row.execute), calls.end());
    ExpectCleanEnd();
  }
}

TEST(OracleClientLibrary, MissingLibraryOrEntryPointIsClientUnavailable) {
  std::unique_ptr<Backend> missing = NewOracleBackendLoading("/nonexistent/libclntsh.so");
  EXPECT_EQ(missing->Connect("scott", "tiger", "KORV11"), kStatusClientUnavailable);
  EXPECT_NE(missing->LastError().find("/nonexistent/libclntsh.so"), std::string::npos)
      << missing->LastError();
  // Nothing is open, so nothing else runs.
  EXPECT_EQ(missing->SetSchema(kSchema), -3114);
  EXPECT_EQ(missing->Execute(" UPDATE T SET A = 1"), -3114);
  EXPECT_EQ(missing->Commit(), -3114);

  // A library that loads but is no Oracle client.
  std::unique_ptr<Backend> other = NewOracleBackendLoading("libm.so.6");
  EXPECT_EQ(other->Connect("scott", "tiger", "KORV11"), kStatusClientUnavailable);
  EXPECT_EQ(other->LastError(),
            "libm.so.6 lacks OCIEnvCreate, OCIHandleAlloc, OCIHandleFree, OCIErrorGet, "
            "OCIAttrSet, OCIAttrGet, OCIServerAttach, OCIServerDetach, OCISessionBegin, "
            "OCISessionEnd, OCIStmtPrepare2, OCIStmtRelease, OCIStmtExecute, OCITransCommit, "
            "OCITransRollback");
}

}  // namespace
}  // namespace dbrunner
