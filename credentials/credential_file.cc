// The credential file: text-mode reading, line chunks, field extraction and the record lookup.
#include "credentials/credential_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "credentials/hex_decrypt.h"

namespace dbrunner {
namespace {

constexpr char kCtrlZ = '\x1A';
constexpr std::size_t kReadChunk = 65536;

// Reads one line as fgets does into a buffer of max_chars + 1 bytes: at most
// max_chars bytes, stopping after a line feed. The text ends at the first zero
// byte of the chunk, though the whole chunk is consumed. False at end of text.
bool ReadLineChunk(std::string_view text, std::size_t& pos, std::size_t max_chars,
                   std::string_view& line) {
  if (pos >= text.size()) return false;
  std::string_view chunk = text.substr(pos, max_chars);
  const std::size_t feed = chunk.find('\n');
  if (feed != std::string_view::npos) chunk = chunk.substr(0, feed + 1);
  pos += chunk.size();
  line = chunk.substr(0, chunk.find('\0'));
  return true;
}

// The leading decimal integer of `text`: white space skipped, one optional
// sign, digits up to the first other character; no digits give 0.
std::int32_t LeadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() &&
         std::string_view(" \t\n\v\f\r").find(text[i]) != std::string_view::npos) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulated modulo 2^32 without an overflow check, as the product's files
  // expect: 4294967296 reads as 0. Unsigned arithmetic keeps this defined.
  std::uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

// Text mode on the bytes in `text`: the text ends at the first Ctrl-Z, and a
// CR right before an LF is dropped; any other CR stays a character of the line.
void ApplyTextModeInPlace(std::string& text) {
  const std::size_t end = std::min(text.find(kCtrlZ), text.size());
  // Moves the runs between dropped carriage returns down, whole.
  std::size_t out = 0;
  std::size_t from = 0;
  const auto move_run = [&](std::size_t to) {
    if (out != from) std::memmove(text.data() + out, text.data() + from, to - from);
    out += to - from;
  };
  for (std::size_t cr = text.find('\r'); cr < end; cr = text.find('\r', cr + 1)) {
    if (cr + 1 < end && text[cr + 1] == '\n') {
      move_run(cr);
      from = cr + 1;
    }
  }
  move_run(end);
  text.resize(out);
}

void ResetRecord(CryptRecord& record) {
  record.number = 0;
  record.group.clear();  // clear() keeps the capacity for the next record
  record.key.clear();
  record.value.clear();
  record.line = 0;
}

void CutToField(std::string& field) {
  // Key and value come from an entry line of up to 399 characters but are
  // held in fields of 200; longer contents are cut, not refused.
  if (field.size() > kCryptFieldMaxChars) field.resize(kCryptFieldMaxChars);
}

}  // namespace

std::int32_t FindCharPos(std::string_view line, char c, std::int32_t n) {
  // With fewer than n occurrences the last one is answered, not -1: callers
  // rely on it (a line with one ";" gives the same position for n = 1 and 2).
  std::int32_t count = 0;
  std::int32_t last = -1;
  for (std::size_t pos = line.find(c); pos != std::string_view::npos; pos = line.find(c, pos + 1)) {
    last = static_cast<std::int32_t>(pos);
    if (++count == n) break;
  }
  return last;
}

void SubString(std::string_view line, std::int32_t start, std::int32_t length,
               std::string& target) {
  const std::int64_t size = static_cast<std::int64_t>(line.size());
  const std::int64_t from = std::clamp<std::int64_t>(start, 0, size);
  std::int64_t count = length;
  // A zero length takes the rest of the line, its line feed included; field
  // extraction depends on it (";;" gives the rest of the line as the field).
  if (count == 0) count = size - from + 1;
  // A negative length copies nothing and leaves the target's old content.
  if (count <= 0) return;
  target.assign(line.substr(static_cast<std::size_t>(from),
                            static_cast<std::size_t>(std::min(count, size - from))));
}

void ExtractCryptFields(std::string_view group_line, std::string_view entry_line,
                        std::string& number_text, CryptRecord& record) {
  const std::int32_t p1 = FindCharPos(group_line, ';', 1);
  const std::int32_t p2 = FindCharPos(group_line, ';', 2);
  SubString(group_line, p1 + 1, p2 - p1 - 1, record.group);

  const std::int32_t q1 = FindCharPos(entry_line, ';', 1);
  SubString(entry_line, 0, q1, number_text);
  // The whole number text is read, however long: a field of more than 11
  // characters still gives its leading integer.
  record.number = LeadingInteger(number_text);

  const std::int32_t q2 = FindCharPos(entry_line, ';', 2);
  SubString(entry_line, q1 + 1, q2 - q1 - 1, record.key);
  if (q1 == -1) {
    SubString(entry_line, q2 + 1, 0, record.value);  // the whole line, line feed included
  } else {
    const std::int32_t e = FindCharPos(entry_line, '\n', 1);
    SubString(entry_line, q2 + 1, e - q2 - 1, record.value);
  }
  CutToField(record.key);
  CutToField(record.value);
}

std::string ApplyTextMode(std::string_view raw) {
  std::string text(raw);
  ApplyTextModeInPlace(text);
  return text;
}

std::optional<std::string> ReadCredentialFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  // The size is only a first guess: a directory opens on POSIX and has none,
  // and a file may change under us. Reading straight into the string and
  // converting in place keeps a large file to one buffer.
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  std::string text(error ? kReadChunk : static_cast<std::size_t>(size) + 1, '\0');
  std::size_t used = 0;
  while (true) {
    if (used == text.size()) text.resize(text.size() * 2);
    const std::size_t got = std::fread(text.data() + used, 1, text.size() - used, file);
    if (got == 0) break;
    used += got;
  }
  // A directory fails here, on its first read.
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return std::nullopt;
  text.resize(used);
  ApplyTextModeInPlace(text);
  return text;
}

void GetCryptValue(std::string_view group, std::string_view key, std::int32_t number,
                   std::string_view file_text, CryptRecord& record) {
  ResetRecord(record);
  // The number text belongs to the call and survives between records: an
  // entry line without ";" leaves it as the record before wrote it, and the
  // first such line of a call finds it empty, which reads as 0.
  std::string number_text;
  std::size_t pos = 0;
  std::size_t lines_read = 0;
  std::string_view group_line;
  std::string_view entry_line;
  while (true) {
    // Whether the group line could be read does not matter: at end of text
    // the entry line cannot be read either.
    ReadLineChunk(file_text, pos, kGroupLineMaxChars, group_line);
    const std::size_t group_line_number = ++lines_read;
    if (!ReadLineChunk(file_text, pos, kEntryLineMaxChars, entry_line)) return;
    ++lines_read;

    ExtractCryptFields(group_line, entry_line, number_text, record);

    if (record.group == group || record.key == key || record.number == number) {
      record.value = DecryptHexString(record.value, kCryptKey);
      record.line = group_line_number;
      return;
    }
    ResetRecord(record);
  }
}

void GetCryptValue(std::string_view group, std::string_view key, std::int32_t number,
                   const std::optional<std::string>& file_text, CryptRecord& record) {
  if (!file_text) {
    ResetRecord(record);
    return;
  }
  GetCryptValue(group, key, number, std::string_view(*file_text), record);
}

void GetCryptValue(std::string_view group, std::string_view key, std::int32_t number,
                   const std::string& file_text, CryptRecord& record) {
  GetCryptValue(group, key, number, std::string_view(file_text), record);
}

}  // namespace dbrunner
