// The floor a run is measured against: only the reading of both files, the
// four key schedules and the SQLite work, in the least code. It trusts its
// input (the benchmark's own fixtures) and checks nothing else.
//
//   floor SECTION CREDFILE VALUE   runs SQL001 of SECTION with $parm01 := VALUE
#include <sqlite3.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "credentials/hex_decrypt.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::string text;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    char chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
    std::fclose(file);
  }
  return text;
}

// The rest of the line after the first `mark` of `text`.
std::string_view LineAfter(std::string_view text, std::string_view mark) {
  const std::size_t at = text.find(mark);
  if (at == std::string_view::npos) return {};
  const std::size_t from = at + mark.size();
  return text.substr(from, text.find('\n', from) - from);
}

// The value of KEY, decrypted: one full key schedule, as in every lookup.
std::string Lookup(std::string_view credentials, std::string_view key) {
  return dbrunner::DecryptHexString(LineAfter(credentials, ";" + std::string(key) + ";"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 1;
  const std::string credentials = ReadFile(argv[2]);
  const std::string db_name = Lookup(credentials, "NET8");
  [[maybe_unused]] const std::string user = Lookup(credentials, "LOGIN");
  [[maybe_unused]] const std::string password = Lookup(credentials, "PASS");
  const std::string db_sys = Lookup(credentials, "DB_SYSTEM");

  const std::string ini = ReadFile("DBRUNNER." + db_sys + ".INI");
  const std::string section = "[" + std::string(argv[1]) + "]";
  const std::size_t at = ini.find(section);
  std::string sql(
      LineAfter(std::string_view(ini).substr(at == std::string::npos ? 0 : at), "SQL001="));
  const std::size_t parm = sql.find("$parm01");
  if (parm != std::string::npos) sql.replace(parm, 7, argv[3]);

  // The settings dbrunner makes as well: they only take work away.
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(db_name.substr(db_name.find(':') + 1).c_str(), &db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return rc;
}
