// Tests of the statement file loader: file name, the 80/240/720 read loop
// with a counting reader, diagnostic output and whole files on disk.
#include "statement/statement_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <utility>
#include <vector>

#include "tests/test_util.h"

namespace dbrunner {
namespace {

using Call = std::pair<std::string, std::int32_t>;  // key and buffer size of one read

// A reader that keeps the profile contract over a map of values and records
// every read.
struct CountingReader {
  std::map<std::string, std::string> values;
  std::vector<Call> calls;

  PieceReader Reader() {
    return [this](std::string_view key, char* buffer, std::int32_t size) {
      calls.emplace_back(std::string(key), size);
      const auto it = values.find(std::string(key));
      const std::string value = it == values.end() ? "" : it->second;
      const std::size_t count = std::min(value.size(), static_cast<std::size_t>(size) - 1);
      std::memcpy(buffer, value.data(), count);
      buffer[count] = '\0';
      return static_cast<std::int32_t>(count);
    };
  }
};

// What `print` writes to a stream.
template <typename Print>
std::string Captured(Print print) {
  std::FILE* file = testing::TempFile();
  EXPECT_NE(file, nullptr);
  if (file == nullptr) return "";
  print(file);
  std::rewind(file);
  std::string text;
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
  std::fclose(file);
  return text;
}

TEST(StatementFilePath, NamesAFileInTheWorkingDirectoryOnly) {
#ifdef _WIN32
  const std::string prefix = ".\\DBRUNNER.";
#else
  const std::string prefix = "DBRUNNER.";
#endif
  struct Row {
    std::string db_sys;
    bool accepted;
  };
  const Row rows[] = {
      {"ORA11", true},
      {"", true},  // DBRUNNER..INI
      {"..", true},
      {std::string(kDbSysMaxChars, 'D'), true},
      {std::string(kDbSysMaxChars + 1, 'D'), false},
      {"sub/x", false},
      {"sub\\x", false},
      {"C:x", false},
      {std::string("X\0Y", 3), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.db_sys);
    const std::optional<std::string> path = StatementFilePath(row.db_sys);
    ASSERT_EQ(path.has_value(), row.accepted);
    if (path) {
      EXPECT_EQ(*path, prefix + row.db_sys + ".INI");
    }
  }
}

TEST(AppendSqlLine, PutsABlankBeforeEveryPiece) {
  std::optional<std::string> sql_text;
  EXPECT_EQ(AppendSqlLine(sql_text, "UPDATE X"), 1);
  EXPECT_EQ(sql_text, " UPDATE X");
  EXPECT_EQ(AppendSqlLine(sql_text, "SET A = 1"), 1);
  EXPECT_EQ(sql_text, " UPDATE X SET A = 1");
}

TEST(LoadStatement, ReadsKeysAndGrowsTheBuffer) {
  const std::string x80(80, 'x'), x500(500, 'x'), a100(100, 'a'), b100(100, 'b');
  struct Row {
    const char* name;
    std::map<std::string, std::string> values;
    std::vector<Call> calls;
    std::optional<std::string> text;
  };
  const Row rows[] = {
      {"one short of the capacity is read once",
       {{"SQL001", std::string(79, 'x')}},
       {{"SQL001", 81}, {"SQL002", 81}},
       " " + std::string(79, 'x')},
      // Intended: a count equal to the capacity may be a cut value, so even
      // a complete value of exactly 80 characters is read again.
      {"exactly the capacity is read twice and appended once",
       {{"SQL001", x80}},
       {{"SQL001", 81}, {"SQL001", 241}, {"SQL002", 241}},
       " " + x80},
      {"500 characters are read three times",
       {{"SQL001", x500}},
       {{"SQL001", 81}, {"SQL001", 241}, {"SQL001", 721}, {"SQL002", 721}},
       " " + x500},
      {"the grown capacity stays for later keys",
       {{"SQL001", a100}, {"SQL002", b100}},
       {{"SQL001", 81}, {"SQL001", 241}, {"SQL002", 241}, {"SQL003", 241}},
       " " + a100 + " " + b100},
      {"a gap ends the statement",
       {{"SQL001", "UPDATE T"}, {"SQL002", "SET A = 1"}, {"SQL004", "WHERE ID = 2"}},
       {{"SQL001", 81}, {"SQL002", 81}, {"SQL003", 81}},
       " UPDATE T SET A = 1"},
      {"no SQL001, no statement", {{"SQL002", "UPDATE T"}}, {{"SQL001", 81}}, std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CountingReader fake{row.values, {}};
    std::optional<std::string> sql_text;
    const std::int32_t status = LoadStatement(fake.Reader(), nullptr, sql_text);
    EXPECT_EQ(status, row.text ? 0 : kStatusNoStatement);
    EXPECT_EQ(fake.calls, row.calls);
    EXPECT_EQ(sql_text, row.text);
  }
}

TEST(LoadStatement, StopsAfterSql999) {
  CountingReader fake;
  char key[16];
  for (int n = 1; n <= 1000; ++n) {
    std::snprintf(key, sizeof key, "SQL%03d", n);
    fake.values[key] = n == 1000 ? "beyond" : "p";
  }
  std::optional<std::string> sql_text;
  EXPECT_EQ(LoadStatement(fake.Reader(), nullptr, sql_text), 0);
  ASSERT_EQ(fake.calls.size(), 999u);
  EXPECT_EQ(fake.calls.back().first, "SQL999");
  EXPECT_EQ(sql_text->size(), 999u * 2);
  EXPECT_EQ(sql_text->find("beyond"), std::string::npos);
}

// A piece that does not fit into the largest buffer leaves no statement at
// all, rather than a statement with the piece cut.
TEST(LoadStatement, PieceBeyondTheLargestBufferLeavesNoStatement) {
  CountingReader fake{{{"SQL001", "UPDATE T"}, {"SQL002", std::string(500, 'x')}}, {}};
  std::optional<std::string> sql_text;
  EXPECT_EQ(LoadStatement(fake.Reader(), nullptr, sql_text, /*max_capacity=*/240),
            kStatusNoStatement);
  EXPECT_EQ(sql_text, std::nullopt);
  const std::vector<Call> calls = {{"SQL001", 81}, {"SQL002", 81}, {"SQL002", 241}};
  EXPECT_EQ(fake.calls, calls);
}

TEST(LoadStatement, CountsOutsideTheContractAreSafe) {
  for (std::int32_t count : {-1, 1000, 2147483647}) {
    SCOPED_TRACE(count);
    std::optional<std::string> sql_text;
    const PieceReader liar = [count](std::string_view, char* buffer, std::int32_t) {
      buffer[0] = '\0';
      return count;
    };
    EXPECT_EQ(LoadStatement(liar, nullptr, sql_text, 720), kStatusNoStatement);
    EXPECT_EQ(sql_text, std::nullopt);
  }
}

TEST(LoadStatement, PrintsDiagnosticsInDebugMode) {
  CountingReader found{{{"SQL001", "UPDATE X"}, {"SQL002", "SET A = 'b'"}}, {}};
  std::optional<std::string> sql_text;
  EXPECT_EQ(
      Captured([&](std::FILE* out) { EXPECT_EQ(LoadStatement(found.Reader(), out, sql_text), 0); }),
      "\nStr GetIniValues\n\nSQL-Statement :\n' UPDATE X SET A = 'b''\n\n");

  CountingReader empty;
  std::optional<std::string> none;
  EXPECT_EQ(Captured([&](std::FILE* out) {
              EXPECT_EQ(LoadStatement(empty.Reader(), out, none), kStatusNoStatement);
            }),
            "\nStr GetIniValues\n");
}

// Runs each test inside a fresh directory, as the statement file is found
// in the working directory.
class GetIniValuesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
  }
  void TearDown() override { std::filesystem::current_path(old_cwd_); }

  testing::ScopedTempDir dir_;
  std::filesystem::path old_cwd_;
};

TEST_F(GetIniValuesTest, LoadsTheStatementOfTheSection) {
  testing::WriteFile(dir_.File("DBRUNNER.ORA.INI"),
                     "; statements for ORA\r\n"
                     "[OTHER]\r\n"
                     "SQL001=DELETE FROM T\r\n"
                     "[getterm]\r\n"
                     "SQL001=\"" +
                         std::string(80, 'U') +
                         "\"\r\n"
                         "sql002 =   SET A = '$parm01'  \n"
                         "SQL003=WHERE ID = $parm02\r"
                         "[GETTERM]\r\n"
                         "SQL004=never\r\n");
  std::optional<std::string> sql_text;
  const std::string out = Captured(
      [&](std::FILE* file) { EXPECT_EQ(GetIniValues("GETTERM", "ORA", file, sql_text), 0); });
  // The quoted 80 characters fill the first buffer exactly; read again,
  // they come back whole.
  const std::string expected = " " + std::string(80, 'U') + " SET A = '$parm01' WHERE ID = $parm02";
  EXPECT_EQ(sql_text, expected);
  EXPECT_EQ(out, "\nStr GetIniValues\n\nSQL-Statement :\n'" + expected + "'\n\n");
}

TEST_F(GetIniValuesTest, RefusesNamesBeyondTheirFields) {
  const std::string section31(kSectionNameMaxChars, 'S');
  const std::string section32(kSectionNameMaxChars + 1, 'S');
  const std::string db_sys24(kDbSysMaxChars, 'D');
  const std::string db_sys25(kDbSysMaxChars + 1, 'D');
  const std::string content =
      "[" + section31 + "]\r\nSQL001=A\r\n[" + section32 + "]\r\nSQL001=B\r\n[S]\r\nSQL001=C\r\n";
  testing::WriteFile(dir_.File("DBRUNNER.ORA.INI"), content);
  testing::WriteFile(dir_.File("DBRUNNER..INI"), "[S]\r\nSQL001=empty\r\n");
  testing::WriteFile(dir_.File("DBRUNNER." + db_sys24 + ".INI"), "[S]\r\nSQL001=24\r\n");
  testing::WriteFile(dir_.File("DBRUNNER." + db_sys25 + ".INI"), "[S]\r\nSQL001=25\r\n");
  std::filesystem::create_directory(dir_.path() / "DBRUNNER.sub");
  testing::WriteFile(dir_.path() / "DBRUNNER.sub" / "x.INI", "[S]\r\nSQL001=sub\r\n");
  testing::WriteFile(dir_.File("DBRUNNER.C:x.INI"), "[S]\r\nSQL001=colon\r\n");

  struct Row {
    std::string section;
    std::string db_sys;
    std::optional<std::string> text;
  };
  const Row rows[] = {
      {section31, "ORA", " A"},
      {section32, "ORA", std::nullopt},
      {"S", "", " empty"},
      {"S", db_sys24, " 24"},
      {"S", db_sys25, std::nullopt},
      {"S", "sub/x", std::nullopt},
      {"S", "C:x", std::nullopt},
      {"S", "MISSING", std::nullopt},
      {"NOSECTION", "ORA", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("[" + row.section + "] " + row.db_sys);
    std::optional<std::string> sql_text;
    std::int32_t status = -1;
    const std::string out = Captured(
        [&](std::FILE* file) { status = GetIniValues(row.section, row.db_sys, file, sql_text); });
    EXPECT_EQ(sql_text, row.text);
    if (row.text) {
      EXPECT_EQ(status, 0);
    } else {
      EXPECT_EQ(status, kStatusNoStatement);
      EXPECT_EQ(out, "\nStr GetIniValues\n");
    }
  }
}

}  // namespace
}  // namespace dbrunner
