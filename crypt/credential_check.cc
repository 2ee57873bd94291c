// show and check: the reader's view of a credential file, and its traps.
#include "crypt/credential_check.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "credentials/credential_file.h"
#include "credentials/hex_decrypt.h"
#include "crypt/credential_scan.h"
#include "driver/run_sequence.h"

namespace dbrunner {
namespace {

constexpr std::string_view kPasswordKey = "PASS";
constexpr std::string_view kNetServiceKey = "NET8";

std::string Quoted(std::string_view text) {
  std::string quoted = "'";
  quoted += PrintableValue(text);
  quoted += '\'';
  return quoted;
}

// Why a record's number reads as 0.
std::string ZeroNumberReason(const ScannedRecord& record, std::string_view entry_line) {
  if (record.entry_without_separator) {
    return "its entry line has no ';', so its number is left over from the record before: 0";
  }
  const std::string_view field = entry_line.substr(0, entry_line.find(';'));
  std::size_t i = std::min(field.find_first_not_of(" \t\n\v\f\r"), field.size());
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) ++i;
  const std::size_t digits_end = std::min(field.find_first_not_of("0123456789", i), field.size());
  if (digits_end == i) {
    if (field.empty()) return "its number field is empty and reads as 0";
    return "its number field " + Quoted(field) + " holds no digits and reads as 0";
  }
  if (field.find_first_not_of('0', i) >= digits_end) return "its number is 0";
  return "its number " + Quoted(field) + " is a multiple of 2^32 and reads as 0";
}

std::string EveryLookupMessage(const ScannedRecord& record, const CredentialScan& scan) {
  std::string reasons;
  if (record.group.empty()) {
    reasons = scan.lines[record.group_line].text.find_first_not_of('\n') == std::string_view::npos
                  ? "its group line is empty, so its group is empty"
                  : "its group line has fewer than two ';', so its group is empty";
  }
  if (record.number == 0) {
    if (!reasons.empty()) reasons += "; ";
    reasons += ZeroNumberReason(record, scan.lines[record.group_line + 1].text);
  }
  return "this record answers every lookup (NET8, LOGIN, PASS, DB_SYSTEM) whatever its key: " +
         reasons;
}

// A key meant as one of the lookups but spelled otherwise: "net8", " PASS".
std::optional<std::string_view> NearMissKey(std::string_view key) {
  const std::size_t first = key.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  std::string folded(key.substr(first, key.find_last_not_of(" \t") - first + 1));
  for (char& c : folded) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const std::string_view lookup : kLookupKeys) {
    if (folded == lookup && key != lookup) return lookup;
  }
  return std::nullopt;
}

bool IsLookupKey(std::string_view key) {
  return std::find(kLookupKeys.begin(), kLookupKeys.end(), key) != kLookupKeys.end();
}

bool IsUpperHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

void CheckValueText(const ScannedRecord& record, const ReaderLine& entry,
                    std::vector<Finding>& findings) {
  const std::size_t value_column = entry.column + static_cast<std::size_t>(record.value_begin);
  if (record.value_chars > kCryptFieldMaxChars) {
    findings.push_back({entry.line, value_column,
                        "the value text has " + std::to_string(record.value_chars) +
                            " characters; dbrunner keeps only the first " +
                            std::to_string(kCryptFieldMaxChars)});
    return;
  }
  const std::string_view value = record.value_text;
  // An empty value reads as the lone line feed that ends its line.
  if (value.empty() || value == "\n") return;
  const auto bad = std::find_if_not(value.begin(), value.end(), IsUpperHexDigit);
  const std::size_t partial = value.size() % kHexGroupDigits;
  if (bad == value.end() && partial == 0) return;
  std::string message = "the value text is not whole 16-digit groups of upper-case hex digits:";
  if (bad != value.end()) {
    message += " " + Quoted(std::string_view(&*bad, 1)) + " at character " +
               std::to_string(value_column + static_cast<std::size_t>(bad - value.begin())) +
               " is not one";
    if (partial != 0) message += ", and";
  }
  if (partial != 0) {
    message += " its " + std::to_string(value.size()) +
               (value.size() == 1 ? " character leaves " : " characters leave ") +
               std::to_string(partial) + " over, which dbrunner ignores";
  }
  findings.push_back({entry.line, value_column, message});
}

// Lines the reader reads in more than one piece, and lines cut short by a zero byte.
void CheckLines(const CredentialScan& scan, std::vector<Finding>& findings) {
  for (std::size_t i = 0; i < scan.lines.size(); ++i) {
    const ReaderLine& first = scan.lines[i];
    std::size_t last = i;
    bool zero_byte = first.text.size() < first.end - first.begin;
    while (last + 1 < scan.lines.size() && scan.lines[last + 1].line == first.line) {
      ++last;
      const ReaderLine& piece = scan.lines[last];
      zero_byte = zero_byte || piece.text.size() < piece.end - piece.begin;
    }
    if (last > i) {
      findings.push_back(
          {first.line, 1,
           "this line is too long: dbrunner reads it as " +
               (first.is_group_line
                    ? "a group line of at most " + std::to_string(kGroupLineMaxChars)
                    : "an entry line of at most " + std::to_string(kEntryLineMaxChars)) +
               " characters, line end included, so the rest counts as " + std::to_string(last - i) +
               (last - i == 1 ? " further line" : " further lines") +
               " and every later line pairs up out of step"});
    }
    if (zero_byte) {
      findings.push_back({first.line, 1,
                          "this line holds a zero byte; dbrunner ignores the rest of the line "
                          "(is the file UTF-16? dbrunner reads 8-bit text)"});
    }
    i = last;
  }
}

void CheckCtrlZ(std::string_view raw, std::vector<Finding>& findings) {
  const std::size_t stop = raw.find('\x1A');
  if (stop == std::string_view::npos) return;
  // A Ctrl-Z as the last character marks the end of an old DOS file; it hides
  // nothing.
  if (raw.find_first_not_of("\x1A\r\n \t", stop) == std::string_view::npos) return;
  const std::string_view before = raw.substr(0, stop);
  const std::size_t line =
      static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')) + 1;
  const std::size_t line_start = before.rfind('\n');
  const std::size_t column = line_start == std::string_view::npos ? stop + 1 : stop - line_start;
  findings.push_back(
      {line, column, "Ctrl-Z (0x1A) ends the file for dbrunner: nothing after it is read"});
}

}  // namespace

std::string PrintableValue(std::string_view value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string shown;
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      shown += "\\x";
      shown += kDigits[byte >> 4];
      shown += kDigits[byte & 0x0F];
    } else {
      shown += c;
    }
  }
  return shown;
}

bool CheckCredentialBytes(std::string_view raw, std::vector<Finding>& findings) {
  findings.clear();
  const std::string text = ApplyTextMode(raw);
  const CredentialScan scan = ScanCredentialText(text);
  if (!AgreesWithReader(scan, text)) return false;

  std::optional<std::size_t> answers[kLookupKeys.size()];
  for (std::size_t k = 0; k < kLookupKeys.size(); ++k)
    answers[k] = FirstAnswer(scan, kLookupKeys[k]);

  for (std::size_t r = 0; r < scan.records.size(); ++r) {
    const ScannedRecord& record = scan.records[r];
    const ReaderLine& group_line = scan.lines[record.group_line];
    const ReaderLine& entry_line = scan.lines[record.group_line + 1];
    const bool every_lookup = AnswersEveryLookup(record);
    if (every_lookup) {
      findings.push_back({group_line.line, group_line.column, EveryLookupMessage(record, scan)});
    }
    for (std::size_t k = 0; k < kLookupKeys.size(); ++k) {
      if (record.key != kLookupKeys[k] || *answers[k] == r) continue;
      const ReaderLine& winner = scan.lines[scan.records[*answers[k]].group_line];
      findings.push_back({group_line.line, group_line.column,
                          "this record for " + std::string(kLookupKeys[k]) +
                              " is never read: the record at " + DescribePlace(winner) +
                              " answers the " + std::string(kLookupKeys[k]) + " lookup first"});
    }
    if (const std::optional<std::string_view> meant = NearMissKey(record.key)) {
      findings.push_back({entry_line.line, entry_line.column,
                          "the key " + Quoted(record.key) + " is not " + Quoted(*meant) +
                              ": keys are compared exactly, case and blanks included"});
    }
    if (!every_lookup && !IsLookupKey(record.key)) continue;
    // Only values that a lookup can reach are worth a word.
    CheckValueText(record, entry_line, findings);
    if (!record.entry_without_separator && record.line_feed == -1 &&
        entry_line.end == text.size() &&
        entry_line.text.size() == entry_line.end - entry_line.begin) {
      findings.push_back({entry_line.line, entry_line.column,
                          "the file's last line has no line end, so dbrunner reads this "
                          "record's value as empty"});
    }
  }

  if (scan.has_trailing_line()) {
    const ReaderLine& last = scan.lines.back();
    findings.push_back({last.line, last.column,
                        "a single last line that dbrunner never reads: records are pairs of "
                        "lines, and this one has no partner"});
  }

  if (answers[0]) {
    CryptRecord record;
    GetCryptValue("", kNetServiceKey, 0, std::string_view(text), record);
    if (record.value.size() > kDbNameMaxChars) {
      const ReaderLine& place = scan.lines[scan.records[*answers[0]].group_line];
      findings.push_back({place.line, place.column,
                          "NET8 reads as a value of " + std::to_string(record.value.size()) +
                              " characters; DbName holds at most " +
                              std::to_string(kDbNameMaxChars) + ", so dbrunner leaves it empty"});
    }
  }

  CheckLines(scan, findings);
  CheckCtrlZ(raw, findings);
  std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
    return a.line != b.line ? a.line < b.line : a.column < b.column;
  });
  return true;
}

void ShowCredentialBytes(std::string_view raw, bool reveal, std::FILE* out) {
  const std::string text = ApplyTextMode(raw);
  const CredentialScan scan = ScanCredentialText(text);
  CryptRecord record;
  // The same lookups, in the same order, on the same text as dbrunner.
  for (const std::string_view key : kLookupKeys) {
    GetCryptValue("", key, 0, std::string_view(text), record);
    std::string line = std::string(key) + std::string(10 - key.size(), ' ') + "= ";
    if (record.line == 0) {
      line += "'' (no record answers this lookup)";
      std::fprintf(out, "%s\n", line.c_str());
      continue;
    }
    const bool masked = key == kPasswordKey && !reveal && !record.value.empty();
    line += masked ? "********" : Quoted(record.value);
    line += " (" + DescribePlace(scan.lines[record.line - 1]);
    if (record.key != key) {
      line += ", a record with the key " + Quoted(record.key) + " that answers every lookup";
    }
    if (masked) {
      line += "; " + std::to_string(record.value.size()) +
              (record.value.size() == 1 ? " character" : " characters") + ", --reveal shows it";
    }
    if (key == kNetServiceKey && record.value.size() > kDbNameMaxChars) {
      line += "; " + std::to_string(record.value.size()) + " characters, more than DbName's " +
              std::to_string(kDbNameMaxChars) + ": dbrunner leaves DbName empty";
    }
    line += ")";
    std::fprintf(out, "%s\n", line.c_str());
  }
}

}  // namespace dbrunner
