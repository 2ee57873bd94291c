// Fuzzes the INI reader and the statement loader over arbitrary file bytes:
// the profile contract of every read, and the statement the pieces make.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "statement/profile_reader.h"
#include "statement/statement_file.h"

namespace dbrunner {
namespace {

std::FILE* DevNull() {
  static std::FILE* const file = std::fopen("/dev/null", "w");
  return file;
}

// The key's value as the section holds it, "" when missing.
std::string_view ValueOf(const ProfileSection& section, const std::string& key) {
  const auto it = section.values.find(key);
  return it == section.values.end() ? std::string_view() : std::string_view(it->second);
}

// GetProfileString into a buffer of exactly `size` bytes, so the sanitizer
// sees every write beyond it: the count is at most size - 1, the value is
// terminated right after it and holds no zero byte before.
std::int32_t CheckedRead(const ProfileSection& section, std::string_view key, char* buffer,
                         std::int32_t size) {
  const auto own = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(size));
  std::memset(own.get(), 0x55, static_cast<std::size_t>(size));
  const std::int32_t count = GetProfileString(section, key, own.get(), size);
  FUZZ_CHECK(count >= 0 && count <= size - 1);
  FUZZ_CHECK(own[static_cast<std::size_t>(count)] == '\0');
  FUZZ_CHECK(std::memchr(own.get(), '\0', static_cast<std::size_t>(count)) == nullptr);
  std::memcpy(buffer, own.get(), static_cast<std::size_t>(count) + 1);
  return count;
}

void CheckSection(const ProfileSection& section) {
  if (!section.found) FUZZ_CHECK(section.values.empty());
  for (const auto& [key, value] : section.values) {
    FUZZ_CHECK(std::none_of(key.begin(), key.end(), [](char c) { return c >= 'A' && c <= 'Z'; }));
    FUZZ_CHECK(key.find('=') == std::string::npos);
    FUZZ_CHECK(value.find('\0') == std::string::npos);
    // Size 0 writes nothing; size 1 only the terminator.
    char guard[2] = {'x', 'y'};
    FUZZ_CHECK(GetProfileString(section, key, guard, 0) == 0 && guard[0] == 'x');
    FUZZ_CHECK(GetProfileString(section, key, guard, 1) == 0 && guard[0] == '\0' &&
               guard[1] == 'y');
  }
}

// Loads the statement with the largest piece capacity `max_capacity` and
// compares it with the pieces SQL001.. up to the first empty one.
void CheckLoad(const ProfileSection& section, std::int32_t max_capacity, bool debug) {
  int reads = 0;
  const PieceReader read = [&](std::string_view key, char* buffer, std::int32_t size) {
    ++reads;
    return CheckedRead(section, key, buffer, size);
  };
  std::optional<std::string> sql_text;
  const std::int32_t status =
      LoadStatement(read, debug ? DevNull() : nullptr, sql_text, max_capacity);

  std::int32_t largest = kInitialPieceCapacity;
  while (largest <= max_capacity / 3) largest *= 3;
  std::string expected;
  bool too_long = false;
  int pieces = 0;
  for (int n = 1; n <= kMaxStatementLines; ++n) {
    std::array<char, 16> key{};
    std::snprintf(key.data(), key.size(), "sql%03d", n);
    const std::string_view value = ValueOf(section, key.data());
    if (value.empty()) break;
    ++pieces;
    if (value.size() >= static_cast<std::size_t>(largest)) {
      too_long = true;
      break;
    }
    expected += ' ';
    expected += value;
  }
  if (too_long || expected.empty()) {
    FUZZ_CHECK(status == kStatusNoStatement && !sql_text);
  } else {
    FUZZ_CHECK(status == 0 && sql_text && *sql_text == expected);
  }
  // One read per piece and one for the end, besides a few re-reads while the
  // buffer triples (at most 19 times within an int32).
  FUZZ_CHECK(reads <= pieces + 1 + 19);
}

// A DbSys that names a statement file names one in the working directory.
void CheckStatementFilePath(std::string_view db_sys) {
  const std::optional<std::string> path = StatementFilePath(db_sys);
  if (!path) return;
  FUZZ_CHECK(db_sys.size() <= kDbSysMaxChars);
  FUZZ_CHECK(path->find_first_of(std::string_view("/:\0", 3)) == std::string::npos);
  FUZZ_CHECK(path->rfind('\\') == std::string::npos || path->rfind('\\') == 1);
}

}  // namespace
}  // namespace dbrunner

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dbrunner;
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  // A fixed name, the same with blanks and another case, and the name of the
  // first header, so the fuzzer can reach any name, however long.
  std::string_view first_name;
  if (const std::size_t open = content.find('['); open != std::string_view::npos) {
    first_name = content.substr(open + 1);
    first_name = first_name.substr(0, std::min(first_name.find(']'), first_name.find('\n')));
  }
  const std::string_view names[] = {"S", "  s ", first_name};
  for (const std::string_view name : names) {
    const ProfileSection section = ParseProfileSection(content, name);
    CheckSection(section);
    CheckLoad(section, kMaxPieceCapacity, name == first_name);
    CheckLoad(section, 720, false);
  }
  CheckStatementFilePath(first_name);
  return 0;
}
