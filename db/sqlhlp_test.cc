// Tests of the session functions over a scripted backend, and of the backend
// choice by DbName.
#include "db/sqlhlp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "db/backend.h"
#include "db/dbrunner_sql.h"
#include "tests/fake_backend.h"

namespace dbrunner {
namespace {

using testing::FakeFactory;
using testing::FakeScript;
using Log = std::vector<std::string>;

TEST(DbConnect, SchemaSwitchOnlyAfterGoodConnect) {
  struct Case {
    const char* label;
    std::int32_t connect;
    std::int32_t set_schema;
    std::int32_t status;
    Log log;
  };
  const Case kCases[] = {
      {"both succeed", 0, 0, 0, {"Connect(u,p,svc)", "SetSchema(ZIZIVUZA)"}},
      {"connect fails, schema skipped", -1017, 0, -1017, {"Connect(u,p,svc)"}},
      {"schema fails", 0, -2003, -2003, {"Connect(u,p,svc)", "SetSchema(ZIZIVUZA)"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    FakeScript script;
    script.connect = c.connect;
    script.set_schema = c.set_schema;
    DbSession session{FakeFactory(script), nullptr};
    EXPECT_EQ(dbConnect(session, "u", "p", "fake:svc", "ZIZIVUZA"), c.status);
    EXPECT_EQ(*script.log, c.log);
    // Kept even after a failed connect; the session's end releases it.
    ASSERT_NE(session.backend, nullptr);
    session.backend.reset();
    EXPECT_EQ(script.log->back(), "Close");
  }
}

TEST(DbConnect, UnknownDbNameIsNoBackend) {
  for (const char* db_name : {"", "svc", "FAKE:svc", "sqlite:x.db"}) {
    SCOPED_TRACE(db_name);
    FakeScript script;
    DbSession session{FakeFactory(script), nullptr};
    EXPECT_EQ(dbConnect(session, "u", "p", db_name, "ZIZIVUZA"), kStatusNoBackend);
    EXPECT_EQ(session.backend, nullptr);
    EXPECT_TRUE(script.log->empty());
  }
}

TEST(DbConnect, ValuesReachBackendUnchangedAndUnlimited) {
  FakeScript script;
  DbSession session{FakeFactory(script), nullptr};
  const std::string password = "p/w@d;'\" x" + std::string(200, 'z');
  const std::string user = "scott@" + std::string(150, 'u');
  ASSERT_EQ(dbConnect(session, user, password, "fake:host/db@x", "S"), 0);
  EXPECT_EQ(script.log->front(), "Connect(" + user + "," + password + ",host/db@x)");
}

TEST(DbCommit, ReturnsOneOnlyWhenCommitted) {
  struct Case {
    const char* label;
    bool connected;
    std::int32_t commit;
    std::int32_t result;
    std::int32_t status;
  };
  const Case kCases[] = {
      {"committed", true, 0, 1, 0},
      {"commit fails", true, -787, 0, -787},
      {"no backend", false, 0, 0, kStatusNoBackend},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    FakeScript script;
    script.commit = c.commit;
    DbSession session{FakeFactory(script), nullptr};
    if (c.connected) {
      ASSERT_EQ(dbConnect(session, "u", "p", "fake:svc", "S"), 0);
    }
    std::int32_t status = 12345;
    EXPECT_EQ(dbCommit(session, &status), c.result);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(dbCommit(session), c.result);  // the status is optional
  }
}

TEST(DbExecute, PassesLongTextWholeAndReturnsItsStatus) {
  FakeScript script;
  script.execute = -1555;
  DbSession session{FakeFactory(script), nullptr};
  ASSERT_EQ(dbConnect(session, "u", "p", "fake:svc", "S"), 0);
  const std::string text = " UPDATE T SET A = '" + std::string(4979, 'x') + "';";
  ASSERT_EQ(text.size(), 5000u);
  EXPECT_EQ(dbExecute(session, text), -1555);
  EXPECT_EQ(script.log->back(), "Execute(" + text + ")");
}

TEST(DbExecute, WithoutBackendIsNoBackend) {
  DbSession session{FakeFactory(FakeScript{}), nullptr};
  EXPECT_EQ(dbExecute(session, "UPDATE T SET A = 1"), kStatusNoBackend);
}

TEST(ChooseBackend, ByForm) {
  struct Case {
    const char* db_name;
    const char* kind;
    const char* target;
  };
  const Case kCases[] = {
      {"sqlite:/var/db/k.db", "sqlite", "/var/db/k.db"},
      {"sqlite:data/k.db", "sqlite", "data/k.db"},
      {"sqlite:file:k.db?mode=ro", "sqlite", "file:k.db?mode=ro"},
      {"sqlite:", "sqlite", ""},  // the backend refuses the empty path
      {"", "", ""},
      {"pg:korv", "postgres", "korv"},
      {"postgresql://h:5432/db", "postgres", "postgresql://h:5432/db"},
      {"postgres://h/db", "postgres", "postgres://h/db"},
      {"odbc:KORV", "odbc", "KORV"},
      // Prefixes are matched as written; everything else is a net service name.
      {"KORV11", "oracle", "KORV11"},
      {"host:1521/service", "oracle", "host:1521/service"},
      {"SQLite:k.db", "oracle", "SQLite:k.db"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.db_name);
    const BackendChoice choice = ChooseBackend(c.db_name);
    EXPECT_EQ(choice.backend != nullptr, *c.kind != '\0');
    EXPECT_EQ(choice.kind, c.kind);
    EXPECT_EQ(choice.target, c.target);
  }
}

}  // namespace
}  // namespace dbrunner
