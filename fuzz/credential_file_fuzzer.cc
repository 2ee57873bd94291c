// Fuzzes the credential file reader over arbitrary file bytes: text mode, the
// file read from disk, field extraction and the four lookups of a run.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "credentials/credential_file.h"
#include "credentials/hex_decrypt.h"
#include "fuzz/fuzz_check.h"

namespace dbrunner {
namespace {

std::size_t Count(std::string_view text, std::string_view what) {
  std::size_t n = 0;
  for (std::size_t pos = text.find(what); pos != std::string_view::npos;
       pos = text.find(what, pos + 1)) {
    ++n;
  }
  return n;
}

std::string WithoutCr(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

// Text mode keeps everything before the first Ctrl-Z and drops exactly the
// carriage returns that stand right before a line feed.
void CheckTextMode(std::string_view raw, const std::string& text) {
  const std::string_view kept = raw.substr(0, raw.find('\x1A'));
  FUZZ_CHECK(text.find('\x1A') == std::string::npos);
  FUZZ_CHECK(WithoutCr(text) == WithoutCr(kept));
  FUZZ_CHECK(Count(text, "\r") == Count(kept, "\r") - Count(kept, "\r\n"));
}

// One file, created once per process and rewritten for every input.
const std::string& ScratchPath() {
  static const std::string path = [] {
    std::string pattern = "/tmp/dbrunner-fuzz-cred.XXXXXX";
    const int fd = mkstemp(pattern.data());
    FUZZ_CHECK(fd >= 0);
    close(fd);
    std::atexit([] { std::remove(ScratchPath().c_str()); });
    return pattern;
  }();
  return path;
}

void WriteScratch(std::string_view bytes) {
  std::FILE* file = std::fopen(ScratchPath().c_str(), "wb");
  FUZZ_CHECK(file != nullptr);
  FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
  std::fclose(file);
}

// FindCharPos answers the n-th occurrence, or the last when there are fewer.
void CheckFindCharPos(std::string_view line, char c) {
  const std::size_t total = Count(line, std::string_view(&c, 1));
  for (std::int32_t n = 1; n <= 3; ++n) {
    const std::int32_t pos = FindCharPos(line, c, n);
    if (total == 0) {
      FUZZ_CHECK(pos == -1);
      continue;
    }
    FUZZ_CHECK(pos >= 0 && static_cast<std::size_t>(pos) < line.size());
    FUZZ_CHECK(line[static_cast<std::size_t>(pos)] == c);
    const std::size_t upto =
        Count(line.substr(0, static_cast<std::size_t>(pos) + 1), std::string_view(&c, 1));
    FUZZ_CHECK(upto == std::min<std::size_t>(static_cast<std::size_t>(n), total));
  }
}

// SubString with any start and length, also outside the line, stays inside it.
void CheckSubString(std::string_view line, std::int32_t start, std::int32_t length) {
  std::string target = "old";
  SubString(line, start, length, target);
  if (length < 0) {
    FUZZ_CHECK(target == "old");
    return;
  }
  const std::size_t from = std::min(static_cast<std::size_t>(std::max(start, 0)), line.size());
  FUZZ_CHECK(target.size() <= line.size() - from);
  FUZZ_CHECK(line.substr(from, target.size()) == target);
  if (length > 0)
    FUZZ_CHECK(target.size() ==
               std::min<std::size_t>(static_cast<std::size_t>(length), line.size() - from));
}

// The first two lines of the text as the reader cuts them: up to and with
// the line feed, then at a zero byte.
std::string_view TakeLine(std::string_view text, std::size_t& pos) {
  const std::size_t feed = text.find('\n', pos);
  const std::size_t end = feed == std::string_view::npos ? text.size() : feed + 1;
  std::string_view line = text.substr(pos, end - pos);
  pos = end;
  return line.substr(0, line.find('\0'));
}

void CheckFields(std::string_view text) {
  std::size_t pos = 0;
  const std::string_view group_line = TakeLine(text, pos);
  const std::string_view entry_line = TakeLine(text, pos);
  CheckFindCharPos(group_line, ';');
  CheckFindCharPos(entry_line, ';');
  CheckFindCharPos(entry_line, '\n');

  std::string number_text;
  CryptRecord record;
  ExtractCryptFields(group_line, entry_line, number_text, record);
  // Every field is a piece of its line, and key and value fit their fields.
  FUZZ_CHECK(group_line.find(record.group) != std::string_view::npos);
  FUZZ_CHECK(entry_line.find(number_text) != std::string_view::npos);
  FUZZ_CHECK(entry_line.find(record.key) != std::string_view::npos);
  FUZZ_CHECK(entry_line.find(record.value) != std::string_view::npos);
  FUZZ_CHECK(record.key.size() <= kCryptFieldMaxChars);
  FUZZ_CHECK(record.value.size() <= kCryptFieldMaxChars);

  // Starts and lengths from the text itself, so they reach past both ends.
  const auto small = [&](std::size_t i) {
    return i < text.size() ? static_cast<std::int32_t>(static_cast<signed char>(text[i])) : 0;
  };
  CheckSubString(entry_line, small(0), small(1));
  CheckSubString(group_line, small(2) * 4, small(3));
}

struct Lookup {
  std::string_view group;
  std::string_view key;
  std::int32_t number;
};

// The run's four lookups, and two that match only by group or by number.
constexpr Lookup kLookups[] = {
    {"", "NET8", 0},      {"", "LOGIN", 0},   {"", "PASS", 0},
    {"", "DB_SYSTEM", 0}, {"DB", "\x01", -1}, {"\x01", "\x01", 12},
};

// A lookup leaves either the reset record or a matching one, its value
// decrypted: at most 8 bytes for each whole group of the 200 digits kept.
void CheckLookup(const Lookup& lookup, const std::string& text) {
  CryptRecord record;
  record.number = 99;
  record.group = record.key = record.value = "left over";
  record.line = 77;
  GetCryptValue(lookup.group, lookup.key, lookup.number, text, record);
  if (record.line == 0) {
    FUZZ_CHECK(record.number == 0 && record.group.empty() && record.key.empty() &&
               record.value.empty());
    return;
  }
  FUZZ_CHECK(record.line % 2 == 1);
  FUZZ_CHECK(record.group == lookup.group || record.key == lookup.key ||
             record.number == lookup.number);
  FUZZ_CHECK(record.group.size() < kGroupLineMaxChars);
  FUZZ_CHECK(record.key.size() <= kCryptFieldMaxChars);
  FUZZ_CHECK(record.value.size() <= kCryptFieldMaxChars / kHexGroupDigits * 8);
  FUZZ_CHECK(record.value.find('\0') == std::string::npos);
}

}  // namespace
}  // namespace dbrunner

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dbrunner;
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  const std::string text = ApplyTextMode(raw);
  CheckTextMode(raw, text);

  WriteScratch(raw);
  const std::optional<std::string> read = ReadCredentialFile(ScratchPath());
  FUZZ_CHECK(read.has_value() && *read == text);

  CheckFields(text);
  for (const Lookup& lookup : kLookups) CheckLookup(lookup, text);
  return 0;
}
