// The credential file: two-line records of a group line and an entry line,
// whose values are encrypted hex text, read with Windows text-mode rules.
#ifndef DBRUNNER_CREDENTIALS_CREDENTIAL_FILE_H_
#define DBRUNNER_CREDENTIALS_CREDENTIAL_FILE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dbrunner {

// A group line is read into 200 bytes and an entry line into 400, line feed
// and terminator included; a longer line is read in pieces, and each further
// piece counts as a line of its own.
inline constexpr std::size_t kGroupLineMaxChars = 199;
inline constexpr std::size_t kEntryLineMaxChars = 399;
// Group, key and value are held in fields of 200 characters.
inline constexpr std::size_t kCryptFieldMaxChars = 200;

// The record under inspection; after a lookup it holds the matching record
// with its value decrypted, or its reset state (0 and empty texts).
struct CryptRecord {
  std::int32_t number = 0;
  std::string group;
  std::string key;
  std::string value;
  // 1-based number of the line read as the record's group line; 0 when none matched.
  std::size_t line = 0;
};

// Position of the n-th `c` in `line` (n >= 1); if the line has fewer, the
// position of the last one; -1 when it has none.
std::int32_t FindCharPos(std::string_view line, char c, std::int32_t n);

// Copies `length` characters from `start` into `target`. A length of 0 takes
// the rest of the line, line feed included; a negative length leaves `target`
// as it was.
void SubString(std::string_view line, std::int32_t start, std::int32_t length, std::string& target);

// Fills group, number, key and the still encrypted value text of `record` from
// one record's lines, each already cut at its first zero byte. Fields the lines
// do not define keep their content; so does `number_text`, the call's number text.
void ExtractCryptFields(std::string_view group_line, std::string_view entry_line,
                        std::string& number_text, CryptRecord& record);

// The file's bytes as a text-mode read gives them: CR LF becomes LF, a lone CR
// stays, and Ctrl-Z (0x1A) ends the text.
std::string ApplyTextMode(std::string_view raw);

// Reads the whole file once and applies text mode; nullopt when it cannot be
// opened or read (missing, a directory, no permission).
std::optional<std::string> ReadCredentialFile(const std::string& path);

// Finds the first record of `file_text` whose group equals `group`, or whose
// key equals `key`, or whose number equals `number`, and leaves it in `record`
// with its value decrypted; otherwise `record` is left reset.
void GetCryptValue(std::string_view group, std::string_view key, std::int32_t number,
                   std::string_view file_text, CryptRecord& record);

// The same, where a file that could not be read leaves `record` reset.
void GetCryptValue(std::string_view group, std::string_view key, std::int32_t number,
                   const std::optional<std::string>& file_text, CryptRecord& record);

// The same for a std::string, which would otherwise fit both overloads above.
void GetCryptValue(std::string_view group, std::string_view key, std::int32_t number,
                   const std::string& file_text, CryptRecord& record);

}  // namespace dbrunner

#endif  // DBRUNNER_CREDENTIALS_CREDENTIAL_FILE_H_
