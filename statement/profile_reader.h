// Reading values from an INI (profile) file with the rules Windows applies,
// on every platform, so a statement file yields the same text everywhere.
#ifndef DBRUNNER_STATEMENT_PROFILE_READER_H_
#define DBRUNNER_STATEMENT_PROFILE_READER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace dbrunner {

// The keys of one section, parsed once. Keys are stored folded to ASCII lower
// case; the first key line of a name wins. Values are final: trimmed and with
// their outer quote pair removed.
struct ProfileSection {
  bool found = false;  // a section of that name exists
  std::unordered_map<std::string, std::string> values;
};

// Parses `content` (the file's bytes) and collects the first section whose
// name matches `section` (blanks at its ends ignored, ASCII case folded).
ProfileSection ParseProfileSection(std::string_view content, std::string_view section);

// Reads and parses the file at `path`; a file that cannot be read gives an
// empty section (found == false), as Windows answers with the default.
ProfileSection ReadProfileSection(const std::string& path, std::string_view section);

// The profile contract: copies the value of `key` (or empty text when it is
// missing) into `buffer`, cut to size - 1 characters, terminates it, and
// returns the number of characters copied. With size 0 nothing is written.
std::int32_t GetProfileString(const ProfileSection& section, std::string_view key, char* buffer,
                              std::int32_t size);

}  // namespace dbrunner

#endif  // DBRUNNER_STATEMENT_PROFILE_READER_H_
