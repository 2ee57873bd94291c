// Writing one value into a credential file so that dbrunner reads it, without
// losing or changing anything else in the file.
#ifndef DBRUNNER_CRYPT_CREDENTIAL_WRITER_H_
#define DBRUNNER_CRYPT_CREDENTIAL_WRITER_H_

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "credentials/credential_file.h"
#include "credentials/hex_decrypt.h"

namespace dbrunner {

// The longest value a record can hold: its hex text (16 digits per 8
// characters, padded) must fit the reader's value field of 200 characters.
inline constexpr std::size_t kMaxValueChars = kCryptFieldMaxChars / kHexGroupDigits * 8;

// Refuses a value dbrunner could not read back whole from a credential file:
// one that holds a zero byte or is longer than kMaxValueChars.
bool CheckValueFits(std::string_view value, std::string& error);

// The edit `set` makes.
struct SetPlan {
  std::string bytes;      // the whole new file
  std::size_t line = 0;   // file line of the group line of the record written
  bool appended = false;  // a new record, not a value replaced in place
};

// Plans writing `value` for `key` into a file holding `raw` (nullopt: the file
// does not exist yet). The value replaces that of the record the lookup of
// `key` stops at, or a record is appended when none does. False, with a
// message in `error`, for a key dbrunner does not read, a value it could not
// read back (a NET8 longer than DbName included), or an edit that would not be
// read as meant or would change what dbrunner reads for the other keys.
bool PlanSetValue(const std::optional<std::string>& raw, std::string_view key,
                  std::string_view value, SetPlan& plan, std::string& error);

enum class ReadStatus { kRead, kMissing, kFailed };

// Reads the whole file. kMissing when nothing exists at `path`; kFailed, with
// a message in `error`, when it cannot be read (a folder, no permission).
ReadStatus ReadWholeFile(const std::filesystem::path& path, std::string& bytes, std::string& error);

// Replaces the file's contents with `bytes` through a temporary file in the
// same folder that is flushed to disk and then renamed over it, so the file is
// either whole and new or untouched. Keeps an existing file's permissions (and
// owner); a new file is readable by its owner only. On failure the temporary
// file is removed and `error` says why.
bool ReplaceFileContents(const std::filesystem::path& path, std::string_view bytes,
                         std::string& error);

}  // namespace dbrunner

#endif  // DBRUNNER_CRYPT_CREDENTIAL_WRITER_H_
