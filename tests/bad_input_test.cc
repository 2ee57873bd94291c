// Hostile input end to end: the built program in a temporary directory, run
// against broken credential and statement files, odd arguments and databases
// it cannot use. Every case has a defined result, and the database file stays
// byte for byte as it was unless the statement really ran.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "credentials/hex_decrypt.h"
#include "tests/sqlite_query.h"
#include "tests/test_util.h"

namespace dbrunner {
namespace {

using testing::Query;

namespace fs = std::filesystem;
using testing::ProcessResult;
using testing::ReadFile;
using testing::WriteFile;
using namespace std::string_literals;

constexpr char kRowsBefore[] = "1=a|2=b|17=q";
constexpr char kRowsAfterX[] = "1=x|2=b|17=q";
// The statement every case runs unless it brings its own: $parm01 into row 1.
constexpr char kStatement[] = "[S]\nSQL001=UPDATE T SET A = '$parm01' WHERE ID = 1\n";
constexpr char kNoDbName[] = "dbConnect_Status: -12154\n";
constexpr char kRefused[] = "Unzulaessiger Wert fuer Platzhalter $parm01\n";
constexpr std::size_t kTenMegabytes = 10u << 20;

std::string Record(int number, const std::string& key, const std::string& hex) {
  return "KORVALDEN;DB;x\n" + std::to_string(number) + ";" + key + ";" + hex + "\n";
}

// A credential file whose values are given as they stand in the file.
std::string CredentialsHex(const std::string& net8_hex, const std::string& db_sys = "SQLITE") {
  return Record(1, "NET8", net8_hex) + Record(2, "LOGIN", EncryptHexString("scott")) +
         Record(3, "PASS", EncryptHexString("tiger")) +
         Record(4, "DB_SYSTEM", EncryptHexString(db_sys));
}

std::string Credentials(const std::string& net8, const std::string& db_sys = "SQLITE") {
  return CredentialsHex(EncryptHexString(net8), db_sys);
}

// The same pseudo-random bytes on every run, without Ctrl-Z, which would end
// the text early: all of them are read.
std::string Garbage(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t state = 12345;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
    if (c == '\x1A') c = '\x1B';
  }
  return bytes;
}

// One case's directory: the program runs in work/, which holds the database
// t.db, the credential file kv.ini and the statement file; the directory
// above it is there so a case can see whether a name leads out of work/.
class Workspace {
 public:
  Workspace() : work_(top_.path() / "work") {
    fs::create_directory(work_);
    Query(Db(),
          "CREATE TABLE T(ID INTEGER PRIMARY KEY, A TEXT);"
          "INSERT INTO T(ID, A) VALUES (1, 'a'), (2, 'b'), (17, 'q');");
    Write("kv.ini", Credentials("sqlite:t.db"));
    Write("DBRUNNER.SQLITE.INI", kStatement);
  }

  const fs::path& top() const { return top_.path(); }
  const fs::path& work() const { return work_; }
  std::string Db() const { return (work_ / "t.db").string(); }
  void Write(const std::string& name, std::string_view bytes) const {
    WriteFile(work_ / name, bytes);
  }

  // The rows as "ID=A", a text longer than 64 characters by its length.
  std::string Rows() const {
    return Query(Db(),
                 "SELECT ID || '=' || CASE WHEN length(A) > 64 THEN length(A) || ' chars' "
                 "ELSE A END FROM T ORDER BY ID");
  }

  // Runs the program with `args` in work/, ended after 60 s at the latest
  // (exit status 124 then), so no case can hang the suite. `prefix` goes
  // before the program, e.g. to run it as another user.
  ProcessResult Run(const std::vector<std::string>& args,
                    const std::vector<std::string>& prefix = {}) const {
    std::vector<std::string> argv = {"/usr/bin/timeout", "--kill-after=5", "60"};
    argv.insert(argv.end(), prefix.begin(), prefix.end());
    argv.push_back(DBRUNNER_BINARY);
    argv.insert(argv.end(), args.begin(), args.end());
    return testing::RunProcess(argv, work_);
  }

 private:
  testing::ScopedTempDir top_;
  fs::path work_;
};

struct Case {
  const char* name;
  // Changes the workspace and the arguments, which start as {"S", "kv.ini", "x"}.
  void (*arrange)(const Workspace& w, std::vector<std::string>& args);
  int exit_code;
  std::string out;
  // Rows after the run; null: the database file is unchanged, byte for byte.
  const char* rows;
};

void RunCases(const Case* begin, const Case* end) {
  for (const Case* c = begin; c != end; ++c) {
    SCOPED_TRACE(c->name);
    Workspace w;
    std::vector<std::string> args = {"S", "kv.ini", "x"};
    c->arrange(w, args);
    const std::string db_before = ReadFile(w.Db());
    const ProcessResult r = w.Run(args);
    EXPECT_EQ(r.exit_code, c->exit_code);
    EXPECT_EQ(r.out, c->out);
    EXPECT_EQ(r.err, "");
    if (c->rows == nullptr) {
      EXPECT_TRUE(ReadFile(w.Db()) == db_before) << "database file changed";
    } else {
      EXPECT_EQ(w.Rows(), c->rows);
    }
  }
}

// The credential file: whatever it holds, the values come out as text or
// empty, and a connection that is not to the intended database fails.
TEST(BadInput, CredentialFile) {
  static const Case kCases[] = {
      // A path that cannot be read as a file gives four empty values, as a
      // missing file does: DbName is empty, so nothing is connected to.
      {"a directory",
       [](const Workspace& w, std::vector<std::string>& args) {
         fs::create_directory(w.work() / "kv.d");
         args[1] = "kv.d";
       },
       134, kNoDbName, nullptr},
      {"a dangling symbolic link",
       [](const Workspace& w, std::vector<std::string>& args) {
         fs::create_symlink("missing.ini", w.work() / "kv.lnk");
         args[1] = "kv.lnk";
       },
       134, kNoDbName, nullptr},
      {"a path through a regular file",
       [](const Workspace&, std::vector<std::string>& args) { args[1] = "kv.ini/kv.ini"; }, 134,
       kNoDbName, nullptr},
      {"empty", [](const Workspace& w, std::vector<std::string>&) { w.Write("kv.ini", ""); }, 134,
       kNoDbName, nullptr},
      // The garbage's first record answers every lookup (its group line has
      // fewer than two ';'); its value decrypts to bytes that are no DbName
      // of a known form, so they are taken for an Oracle net service name,
      // for which this build has no client.
      {"binary garbage",
       [](const Workspace& w, std::vector<std::string>&) { w.Write("kv.ini", Garbage(65536)); },
       241, "dbConnect_Status: -9999\n", nullptr},
      // Read in pieces of 199 and 399 characters; every piece pairs with the
      // next, and the first pair answers every lookup. Its value, 200 'A's,
      // decrypts to more than the 40 characters of DbName: left empty.
      {"a single line of 10 MB",
       [](const Workspace& w, std::vector<std::string>&) {
         w.Write("kv.ini", std::string(kTenMegabytes, 'A'));
       },
       134, kNoDbName, nullptr},
      {"a line of 10 MB after the records is never needed",
       [](const Workspace& w, std::vector<std::string>&) {
         w.Write("kv.ini", Credentials("sqlite:t.db") + std::string(kTenMegabytes, 'A') + "\n");
       },
       0, "", kRowsAfterX},
      // A zero byte ends the line's text, so the value has no line end and is empty.
      {"a zero byte inside the NET8 value",
       [](const Workspace& w, std::vector<std::string>&) {
         std::string hex = EncryptHexString("sqlite:t.db");
         hex.insert(16, 1, '\0');
         w.Write("kv.ini", CredentialsHex(hex));
       },
       134, kNoDbName, nullptr},
      // The group line ends at the zero byte and has no ';' left: this record
      // answers all four lookups, so DbSys is "sqlite:t.db", which names no
      // statement file.
      {"a zero byte in a group line",
       [](const Workspace& w, std::vector<std::string>&) {
         std::string text = Credentials("sqlite:t.db");
         text.insert(4, 1, '\0');
         w.Write("kv.ini", text);
       },
       3, "", nullptr},
      // Not hex: every character decodes by the digit rule, and the result is
      // a DbName of no known form.
      {"a value in clear text",
       [](const Workspace& w, std::vector<std::string>&) {
         w.Write("kv.ini", CredentialsHex("sqlite:/var/lib/korvalden/t.db"));
       },
       241, "dbConnect_Status: -9999\n", nullptr},
      // Digits after the last whole group are dropped; the value is intact.
      {"a value with a partial group after it",
       [](const Workspace& w, std::vector<std::string>&) {
         w.Write("kv.ini", CredentialsHex(EncryptHexString("sqlite:t.db") + "ABC"));
       },
       0, "", kRowsAfterX},
      {"a value shorter than one group",
       [](const Workspace& w, std::vector<std::string>&) {
         w.Write("kv.ini", CredentialsHex(EncryptHexString("sqlite:t.db").substr(0, 15)));
       },
       134, kNoDbName, nullptr},
  };
  RunCases(std::begin(kCases), std::end(kCases));
}

// The statement file and the names that choose it: only the section asked for,
// of a file in the working directory, and no piece beyond SQL999 runs.
TEST(BadInput, StatementFile) {
  static const Case kCases[] = {
      {"a statement line of 10 MB",
       [](const Workspace& w, std::vector<std::string>&) {
         w.Write("DBRUNNER.SQLITE.INI", "[S]\nSQL001=UPDATE T SET A = '" +
                                            std::string(kTenMegabytes, 'x') + "' WHERE ID = 1\n");
       },
       0, "", "1=10485760 chars|2=b|17=q"},
      // The value ends at the zero byte: what follows it never reaches the database.
      {"a zero byte in a statement line",
       [](const Workspace& w, std::vector<std::string>&) {
         w.Write("DBRUNNER.SQLITE.INI",
                 "[S]\nSQL001=UPDATE T SET A = '$parm01' WHERE ID = 1\0 OR 1 = 1\n"s);
       },
       0, "", kRowsAfterX},
      {"keys without a section",
       [](const Workspace& w, std::vector<std::string>&) {
         w.Write("DBRUNNER.SQLITE.INI", "SQL001=UPDATE T SET A = 'x'\n");
       },
       3, "", nullptr},
      // All 999 pieces are read (the WHERE is in SQL999); SQL1000 is not.
      {"a section of 999 keys and SQL1000",
       [](const Workspace& w, std::vector<std::string>&) {
         std::string ini = "[S]\nSQL001=UPDATE T SET A = '$parm01'\n";
         for (int n = 2; n <= 998; ++n) {
           ini += "SQL" +
                  std::string(n < 10    ? "00"
                              : n < 100 ? "0"
                                        : "") +
                  std::to_string(n) + "=/* piece " + std::to_string(n) + " */\n";
         }
         ini += "SQL999=WHERE ID = 1\nSQL1000=OR 1 = 1\n";
         w.Write("DBRUNNER.SQLITE.INI", ini);
       },
       0, "", kRowsAfterX},
      // DbSys builds a file name, never a path: "DBRUNNER." + "/SUB" + ".INI"
      // would open SUB.INI in the directory "DBRUNNER.".
      {"DbSys with a slash",
       [](const Workspace& w, std::vector<std::string>&) {
         fs::create_directory(w.work() / "DBRUNNER.");
         WriteFile(w.work() / "DBRUNNER." / "SUB.INI", kStatement);
         w.Write("kv.ini", Credentials("sqlite:t.db", "/SUB"));
       },
       3, "", nullptr},
      // "DBRUNNER." + "./../../UP" + ".INI" would be UP.INI above the working directory.
      {"DbSys leading out with ..",
       [](const Workspace& w, std::vector<std::string>&) {
         fs::create_directory(w.work() / "DBRUNNER..");
         WriteFile(w.top() / "UP.INI", kStatement);
         w.Write("kv.ini", Credentials("sqlite:t.db", "./../../UP"));
       },
       3, "", nullptr},
      // A backslash is a separator on Windows, so it is refused everywhere.
      {"DbSys with a backslash",
       [](const Workspace& w, std::vector<std::string>&) {
         w.Write("DBRUNNER...\\UP.INI", kStatement);
         w.Write("kv.ini", Credentials("sqlite:t.db", "..\\UP"));
       },
       3, "", nullptr},
      // Without a separator ".." is part of a name in the working directory.
      {"DbSys .. alone names DBRUNNER....INI",
       [](const Workspace& w, std::vector<std::string>&) {
         w.Write("DBRUNNER....INI", kStatement);
         w.Write("kv.ini", Credentials("sqlite:t.db", ".."));
       },
       0, "", kRowsAfterX},
      // A name longer than its 31-character field is refused, not cut: cut,
      // it would run the statement of another section.
      {"a section name of 32 characters",
       [](const Workspace& w, std::vector<std::string>& args) {
         const std::string name(32, 'N');
         w.Write("DBRUNNER.SQLITE.INI", "[" + name.substr(0, 31) +
                                            "]\nSQL001=UPDATE T SET A = 'cut'\n[" + name +
                                            "]\nSQL001=UPDATE T SET A = 'long'\n");
         args[0] = name;
       },
       3, "", nullptr},
      {"a section name of 31 characters",
       [](const Workspace& w, std::vector<std::string>& args) {
         const std::string name(31, 'N');
         w.Write("DBRUNNER.SQLITE.INI",
                 "[" + name + "]\nSQL001=UPDATE T SET A = '$parm01' WHERE ID = 1\n");
         args[0] = name;
       },
       0, "", kRowsAfterX},
  };
  RunCases(std::begin(kCases), std::end(kCases));
}

// Parameters: any number, any bytes. A value lands inside its literal or is
// refused before anything runs; it never changes the statement around it.
TEST(BadInput, Parameters) {
  // $parm99 into row $parm01; parameters after the 99th are never looked at.
  static constexpr auto kManyParameters = [](const Workspace& w, std::vector<std::string>& args,
                                             int count) {
    w.Write("DBRUNNER.SQLITE.INI", "[S]\nSQL001=UPDATE T SET A = '$parm99' WHERE ID = $parm01\n");
    args = {"S", "kv.ini", "2"};
    for (int n = 2; n <= count; ++n) args.push_back(n == 99 ? "p99" : "p" + std::to_string(n));
  };
  static const Case kCases[] = {
      {"100 parameters",
       [](const Workspace& w, std::vector<std::string>& args) { kManyParameters(w, args, 100); }, 0,
       "", "1=a|2=p99|17=q"},
      {"10,000 parameters",
       [](const Workspace& w, std::vector<std::string>& args) { kManyParameters(w, args, 10000); },
       0, "", "1=a|2=p99|17=q"},
      // An empty value removes its placeholder, in a literal and in code.
      {"empty parameters",
       [](const Workspace& w, std::vector<std::string>& args) {
         w.Write("DBRUNNER.SQLITE.INI",
                 "[S]\nSQL001=UPDATE T SET A = '[$parm01]' WHERE ID = 1$parm02\n");
         args = {"S", "kv.ini", "", ""};
       },
       0, "", "1=[]|2=b|17=q"},
      {"quotes, semicolons and comment markers inside a literal",
       [](const Workspace&, std::vector<std::string>& args) {
         args[2] = "x'; DELETE FROM T; -- /* \" */";
       },
       0, "", "1=x'; DELETE FROM T; -- /* \" */|2=b|17=q"},
      {"non-ASCII bytes inside a literal",
       [](const Workspace&, std::vector<std::string>& args) {
         args[2] =
             "Gr\xFC\xDF"
             "e \xC3\xA4\xFF";
       },
       0, "",
       "1=Gr\xFC\xDF"
       "e \xC3\xA4\xFF|2=b|17=q"},
      {"a quote that would leave the literal in code",
       [](const Workspace& w, std::vector<std::string>& args) {
         w.Write("DBRUNNER.SQLITE.INI", "[S]\nSQL001=UPDATE T SET A = 'x' WHERE ID = $parm01\n");
         args[2] = "1' OR '1'='1";
       },
       4, kRefused, nullptr},
      {"a semicolon in code",
       [](const Workspace& w, std::vector<std::string>& args) {
         w.Write("DBRUNNER.SQLITE.INI", "[S]\nSQL001=UPDATE T SET A = 'x' WHERE ID = $parm01\n");
         args[2] = "1; DELETE FROM T";
       },
       4, kRefused, nullptr},
      {"a comment marker in code",
       [](const Workspace& w, std::vector<std::string>& args) {
         w.Write("DBRUNNER.SQLITE.INI", "[S]\nSQL001=UPDATE T SET A = 'x' WHERE ID = 1$parm01\n");
         args[2] = "-- ";
       },
       4, kRefused, nullptr},
      // A line break would end the comment and put the rest into the statement.
      {"a line break into a line comment",
       [](const Workspace& w, std::vector<std::string>& args) {
         w.Write("DBRUNNER.SQLITE.INI",
                 "[S]\nSQL001=UPDATE T SET A = 'x' WHERE ID = 1 -- job $parm01\n");
         args[2] = "7\nOR 1 = 1";
       },
       4, kRefused, nullptr},
  };
  RunCases(std::begin(kCases), std::end(kCases));
}

// The database itself: read-only or not a database gives its status, and
// nothing is written.
TEST(BadInput, Database) {
  static const Case kCases[] = {
      {"opened read-only",
       [](const Workspace& w, std::vector<std::string>&) {
         w.Write("kv.ini", Credentials("sqlite:file:t.db?mode=ro"));
       },
       248, "", nullptr},
      {"not a database",
       [](const Workspace& w, std::vector<std::string>&) {
         w.Write("t.db", "just text, no database\n");
       },
       230, "dbConnect_Status: -26\n", nullptr},
  };
  RunCases(std::begin(kCases), std::end(kCases));
}

// A file the user may read but not write, as on a shared server: as root, where
// permissions do not bite, the program runs as nobody.
TEST(BadInput, DatabaseFileOfAnotherUser) {
  Workspace w;
  std::vector<std::string> prefix;
  if (geteuid() == 0) {
    if (!fs::exists("/usr/sbin/runuser")) GTEST_SKIP() << "runuser is needed to drop root";
    prefix = {"/usr/sbin/runuser", "-u", "nobody", "--"};
    for (const fs::path& dir : {w.top(), w.work()}) {
      fs::permissions(dir, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    }
  } else {
    fs::permissions(w.Db(), fs::perms::owner_write, fs::perm_options::remove);
  }
  const std::string db_before = ReadFile(w.Db());
  const ProcessResult r = w.Run({"S", "kv.ini", "x"}, prefix);
  EXPECT_EQ(r.exit_code, 248);  // -8, SQLITE_READONLY
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(ReadFile(w.Db()) == db_before);
}

// A transaction of another connection, from this process, open until released.
class HeldTransaction {
 public:
  // `begin` opens it and takes the lock wanted.
  HeldTransaction(const std::string& path, const char* begin) {
    sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
    EXPECT_EQ(sqlite3_exec(db_, begin, nullptr, nullptr, nullptr), SQLITE_OK);
  }
  ~HeldTransaction() { sqlite3_close(db_); }
  HeldTransaction(const HeldTransaction&) = delete;
  HeldTransaction& operator=(const HeldTransaction&) = delete;

  void Release() { sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr); }

 private:
  sqlite3* db_ = nullptr;
};

constexpr char kWriter[] = "BEGIN IMMEDIATE";
constexpr char kReader[] = "BEGIN; SELECT count(*) FROM T";

// Another connection: a writer holding its lock past the 5 s the program
// waits gives -5 before anything runs; a reader holding the file that long
// lets the update run but not commit, which gives -5 too, and nothing is
// kept; a lock held for less is waited for and the statement runs.
TEST(BadInput, DatabaseLockedByAnotherConnection) {
  struct Held {
    const char* begin;
    const char* execute_status;  // the diagnostic line: where the run stopped
  };
  for (const Held& held :
       {Held{kWriter, "\n SQL-Fehler : -5\n"}, Held{kReader, "\n SQL-Fehler : 0\n"}}) {
    SCOPED_TRACE(held.begin);
    Workspace w;
    const std::string db_before = ReadFile(w.Db());
    HeldTransaction other(w.Db(), held.begin);
    const ProcessResult r = w.Run({"S", "kv.ini", "x", "/D"});
    EXPECT_EQ(r.exit_code, 251);  // -5, SQLITE_BUSY
    EXPECT_TRUE(r.out.ends_with(held.execute_status)) << r.out;
    other.Release();
    EXPECT_TRUE(ReadFile(w.Db()) == db_before);
    EXPECT_EQ(w.Rows(), kRowsBefore);
  }
  Workspace w;
  HeldTransaction other(w.Db(), kWriter);
  std::thread release([&other] {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    other.Release();
  });
  const ProcessResult r = w.Run({"S", "kv.ini", "x"});
  release.join();
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(w.Rows(), kRowsAfterX);
}

}  // namespace
}  // namespace dbrunner
