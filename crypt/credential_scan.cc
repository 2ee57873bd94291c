// A second reading of the credential format that keeps what the reader drops:
// every record, and the file line each piece comes from.
#include "crypt/credential_scan.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "credentials/credential_file.h"

namespace dbrunner {

CredentialScan ScanCredentialText(std::string_view text) {
  CredentialScan scan;
  std::size_t pos = 0;
  std::size_t line = 1;
  std::size_t line_start = 0;
  // Group and entry lines alternate from the first line on, each read into its
  // own buffer size; a piece ends after a line feed or when the buffer is full.
  while (pos < text.size()) {
    const bool is_group_line = scan.lines.size() % 2 == 0;
    const std::size_t max_chars = is_group_line ? kGroupLineMaxChars : kEntryLineMaxChars;
    std::string_view piece = text.substr(pos, max_chars);
    const std::size_t feed = piece.find('\n');
    if (feed != std::string_view::npos) piece = piece.substr(0, feed + 1);

    ReaderLine read;
    read.begin = pos;
    read.end = pos + piece.size();
    read.text = piece.substr(0, piece.find('\0'));
    read.line = line;
    read.column = pos - line_start + 1;
    read.is_group_line = is_group_line;
    scan.lines.push_back(read);

    pos = read.end;
    if (feed != std::string_view::npos) {
      ++line;
      line_start = pos;
    }
  }

  // Like the reader, the number text survives from one record to the next.
  std::string number_text;
  for (std::size_t i = 0; i + 1 < scan.lines.size(); i += 2) {
    const std::string_view group_line = scan.lines[i].text;
    const std::string_view entry_line = scan.lines[i + 1].text;
    ScannedRecord record;
    record.group_line = i;

    // The reader's own extraction, on a record reset as the reader resets it.
    CryptRecord fields;
    ExtractCryptFields(group_line, entry_line, number_text, fields);
    record.group = std::move(fields.group);
    record.number_text = number_text;
    record.number = fields.number;
    record.key = std::move(fields.key);
    record.value_text = std::move(fields.value);

    // Where the value lies, for the edits of set and the places check names.
    const std::int32_t q1 = FindCharPos(entry_line, ';', 1);
    const std::int32_t q2 = FindCharPos(entry_line, ';', 2);
    record.entry_without_separator = q1 == -1;
    record.value_begin = q2 + 1;
    record.line_feed = FindCharPos(entry_line, '\n', 1);
    std::string uncut;
    SubString(entry_line, q2 + 1, q1 == -1 ? 0 : record.line_feed - q2 - 1, uncut);
    record.value_chars = uncut.size();
    scan.records.push_back(std::move(record));
  }
  return scan;
}

bool AnswersEveryLookup(const ScannedRecord& record) {
  return record.group.empty() || record.number == 0;
}

bool AnswersLookup(const ScannedRecord& record, std::string_view key) {
  return AnswersEveryLookup(record) || record.key == key;
}

std::optional<std::size_t> FirstAnswer(const CredentialScan& scan, std::string_view key) {
  for (std::size_t i = 0; i < scan.records.size(); ++i) {
    if (AnswersLookup(scan.records[i], key)) return i;
  }
  return std::nullopt;
}

bool AgreesWithReader(const CredentialScan& scan, std::string_view text) {
  CryptRecord record;
  for (const std::string_view key : kLookupKeys) {
    GetCryptValue("", key, 0, text, record);
    const std::optional<std::size_t> answer = FirstAnswer(scan, key);
    // The reader numbers the pieces it reads from 1.
    const std::size_t line = answer ? scan.records[*answer].group_line + 1 : 0;
    if (record.line != line) return false;
    if (answer && (record.key != scan.records[*answer].key ||
                   record.number != scan.records[*answer].number)) {
      return false;
    }
  }
  return true;
}

std::string DescribePlace(const ReaderLine& line) {
  std::string place = "line " + std::to_string(line.line);
  if (line.column > 1) place += ", character " + std::to_string(line.column);
  return place;
}

std::vector<std::size_t> TextToRawOffsets(std::string_view raw) {
  // The same rules as the reader's text mode: Ctrl-Z ends the text, and a
  // carriage return directly before a line feed is dropped.
  const std::size_t end = std::min(raw.find('\x1A'), raw.size());
  std::vector<std::size_t> offsets;
  offsets.reserve(end + 1);
  for (std::size_t i = 0; i < end; ++i) {
    if (raw[i] == '\r' && i + 1 < end && raw[i + 1] == '\n') continue;
    offsets.push_back(i);
  }
  offsets.push_back(end);
  return offsets;
}

}  // namespace dbrunner
