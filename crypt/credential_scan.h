// The credential file as dbrunner's reader sees it: the pieces it reads as
// lines, the records they pair into, and the file lines they come from.
#ifndef DBRUNNER_CRYPT_CREDENTIAL_SCAN_H_
#define DBRUNNER_CRYPT_CREDENTIAL_SCAN_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dbrunner {

// The keys dbrunner looks up, in the order it does; every lookup asks for
// group "" and number 0 as well.
inline constexpr std::array<std::string_view, 4> kLookupKeys = {"NET8", "LOGIN", "PASS",
                                                                "DB_SYSTEM"};

// One piece the reader reads as a line: a whole file line, or a part of one
// that is longer than the reader's buffer.
struct ReaderLine {
  std::size_t begin = 0;       // offset in the text-mode text
  std::size_t end = 0;         // one past the piece, line feed included
  std::string_view text;       // what the reader sees: the piece up to a zero byte
  std::size_t line = 0;        // file line the piece starts on, 1-based
  std::size_t column = 1;      // character of that line it starts at, 1-based
  bool is_group_line = false;  // read into the group line's buffer
};

// A record as the reader extracts it, fields cut to their size as it does.
struct ScannedRecord {
  std::size_t group_line = 0;  // index into CredentialScan::lines; the entry line follows it
  std::string group;
  std::string number_text;  // the text the number was read from
  std::int32_t number = 0;
  std::string key;
  std::string value_text;       // the encrypted value as the reader keeps it
  std::size_t value_chars = 0;  // its length before it was cut to the field size
  // True when the entry line holds no ";": key is empty, the value is the whole
  // line and the number is left over from the record before.
  bool entry_without_separator = false;
  // Offsets in the entry line's text of the value (after the key's ";") and
  // of the line feed that ends it; -1 when the piece holds no line feed.
  std::int32_t value_begin = 0;
  std::int32_t line_feed = -1;
};

// Everything the reader reads from one text; views point into that text.
struct CredentialScan {
  std::vector<ReaderLine> lines;
  std::vector<ScannedRecord> records;
  // An odd piece at the end that the reader never pairs, let alone reads.
  bool has_trailing_line() const { return lines.size() % 2 == 1; }
};

// Splits `text` (already in text mode) as the reader does and extracts every
// record. `text` must outlive the result.
CredentialScan ScanCredentialText(std::string_view text);

// The group is empty or the number reads as 0: the record answers any lookup
// dbrunner makes, whatever its key.
bool AnswersEveryLookup(const ScannedRecord& record);

// Whether a lookup of `key` (group "", number 0) stops at this record.
bool AnswersLookup(const ScannedRecord& record, std::string_view key);

// Index of the record a lookup of `key` stops at; nullopt when none answers.
std::optional<std::size_t> FirstAnswer(const CredentialScan& scan, std::string_view key);

// True when, for each of dbrunner's lookups, the scan stops at the record the
// reader itself finds in `text`. The scan is a second reading of the format;
// callers refuse to act on a file where the two part ways.
bool AgreesWithReader(const CredentialScan& scan, std::string_view text);

// "line 5", or "line 5, character 200" for a piece that starts inside a line.
std::string DescribePlace(const ReaderLine& line);

// Maps each character of the text-mode text of `raw` to its offset in `raw`;
// the extra last entry is where the text ends (the file's end or its Ctrl-Z).
std::vector<std::size_t> TextToRawOffsets(std::string_view raw);

}  // namespace dbrunner

#endif  // DBRUNNER_CRYPT_CREDENTIAL_SCAN_H_
