// Statement file loader: reads the pieces SQL001, SQL002, ... of one section
// of DBRUNNER.<DbSys>.INI and joins them into the statement text.
#include "statement/statement_file.h"

#include <array>
#include <cstdio>
#include <vector>

#include "statement/profile_reader.h"

namespace dbrunner {
namespace {

void PrintText(std::FILE* out, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), out);
}

}  // namespace

std::optional<std::string> StatementFilePath(std::string_view db_sys) {
  if (db_sys.size() > kDbSysMaxChars) return std::nullopt;
  // ':' is refused everywhere, not only where it names a drive, so one
  // DbSys is accepted or refused alike on every platform. A NUL would end
  // the name early and open another file.
  if (db_sys.find_first_of(std::string_view("/\\:\0", 4)) != std::string_view::npos) {
    return std::nullopt;
  }
#ifdef _WIN32
  std::string path = ".\\DBRUNNER.";
#else
  std::string path = "DBRUNNER.";
#endif
  path += db_sys;
  path += ".INI";
  return path;
}

std::int32_t AppendSqlLine(std::optional<std::string>& sql_text, std::string_view piece) {
  // Storage that cannot be obtained ends the process (std::bad_alloc), so
  // the result is always 1; no statement is ever run with a piece missing.
  if (!sql_text) sql_text.emplace();
  sql_text->reserve(sql_text->size() + 1 + piece.size());
  sql_text->push_back(' ');
  sql_text->append(piece);
  return 1;
}

std::int32_t LoadStatement(const PieceReader& read, std::FILE* debug_out,
                           std::optional<std::string>& sql_text, std::int32_t max_capacity) {
  if (debug_out != nullptr) std::fputs("\nStr GetIniValues\n", debug_out);

  std::int32_t capacity = kInitialPieceCapacity;
  std::vector<char> buffer(static_cast<std::size_t>(capacity) + 1);
  // The key field holds three digits, so the format ends at SQL999: a
  // statement has at most 999 pieces and SQL1000 is never read.
  for (int n = 1; n <= kMaxStatementLines;) {
    std::array<char, 16> key{};
    std::snprintf(key.data(), key.size(), "SQL%03d", n);
    const std::int32_t count = read(key.data(), buffer.data(), capacity + 1);
    // The first missing or empty key ends the statement; later keys are
    // never looked at, even after a gap.
    if (count <= 0) break;
    // A count of the full capacity may mean the value was cut. The key is
    // read again with three times the room, and the capacity stays grown
    // for the later keys. A value of exactly the capacity is thus read
    // twice although it was complete; it is appended once. A count above
    // the capacity breaks the reader's contract and is taken as cut too.
    if (count >= capacity) {
      if (capacity > max_capacity / 3) {
        // The value does not fit into the largest buffer the reader's size
        // can express. Running the statement without the rest of it would
        // run another statement, so there is none.
        sql_text.reset();
        return kStatusNoStatement;
      }
      capacity *= 3;
      buffer.resize(static_cast<std::size_t>(capacity) + 1);
      continue;
    }
    static_cast<void>(
        AppendSqlLine(sql_text, std::string_view(buffer.data(), static_cast<std::size_t>(count))));
    ++n;
  }

  if (!sql_text) return kStatusNoStatement;
  if (debug_out != nullptr) {
    std::fputs("\nSQL-Statement :\n", debug_out);
    std::fputs("'", debug_out);
    PrintText(debug_out, *sql_text);
    std::fputs("'\n\n", debug_out);
  }
  return 0;
}

std::int32_t GetIniValues(std::string_view section, std::string_view db_sys, std::FILE* debug_out,
                          std::optional<std::string>& sql_text) {
  const std::optional<std::string> path = StatementFilePath(db_sys);
  if (section.size() > kSectionNameMaxChars || !path) {
    if (debug_out != nullptr) std::fputs("\nStr GetIniValues\n", debug_out);
    return kStatusNoStatement;
  }
  const ProfileSection profile = ReadProfileSection(*path, section);
  return LoadStatement(
      [&profile](std::string_view key, char* buffer, std::int32_t size) {
        return GetProfileString(profile, key, buffer, size);
      },
      debug_out, sql_text);
}

}  // namespace dbrunner
