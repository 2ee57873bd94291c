// set: the edit of a credential file, and the safe replacement of the file.
#include "crypt/credential_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "credentials/credential_file.h"
#include "credentials/hex_decrypt.h"
#include "crypt/credential_scan.h"
#include "driver/run_sequence.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX  // keeps std::min and std::max usable
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <random>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dbrunner {
namespace fs = std::filesystem;
namespace {

// A new file gets the platform's own line end; an existing one keeps its own.
#ifdef _WIN32
constexpr std::string_view kNewFileLineEnd = "\r\n";
#else
constexpr std::string_view kNewFileLineEnd = "\n";
#endif

// The group line of every record written here: a non-empty group between two
// ";", so that the record answers only the lookup of its own key.
constexpr std::string_view kWrittenGroupLine = "dbrunner-crypt;DB;";

constexpr std::string_view kSeeCheck = "; 'dbrunner-crypt check' lists such traps";

std::string ErrnoText(int error_number) { return std::generic_category().message(error_number); }

// The line end of the file's last line before `end`: records are written in
// the style of the lines around them.
std::string_view LineEndBefore(std::string_view raw, std::size_t end) {
  const std::size_t feed = raw.substr(0, end).rfind('\n');
  if (feed == std::string_view::npos) return kNewFileLineEnd;
  return feed > 0 && raw[feed - 1] == '\r' ? "\r\n" : "\n";
}

std::int32_t NextRecordNumber(const CredentialScan& scan) {
  std::int32_t highest = 0;
  for (const ScannedRecord& record : scan.records) highest = std::max(highest, record.number);
  if (highest < std::numeric_limits<std::int32_t>::max()) return highest + 1;
  // The numbers only tell records apart: any positive one not yet taken will do.
  for (std::int32_t n = 1;; ++n) {
    if (std::none_of(scan.records.begin(), scan.records.end(),
                     [n](const ScannedRecord& record) { return record.number == n; })) {
      return n;
    }
  }
}

bool ReplaceValueInPlace(std::string_view raw, std::string_view text, const CredentialScan& scan,
                         const ScannedRecord& record, std::string_view hex, std::string& bytes,
                         std::string& error) {
  const ReaderLine& entry = scan.lines[record.group_line + 1];
  const std::string place = DescribePlace(entry);
  const std::vector<std::size_t> offsets = TextToRawOffsets(raw);
  std::string_view line_end_to_add;
  if (record.line_feed == -1) {
    if (entry.text.size() < entry.end - entry.begin) {
      error = place + ": the entry line holds a zero byte, so dbrunner reads no value from it" +
              std::string(kSeeCheck);
      return false;
    }
    if (entry.end < text.size()) {
      error = place + ": the entry line is longer than the " + std::to_string(kEntryLineMaxChars) +
              " characters dbrunner reads of it" + std::string(kSeeCheck);
      return false;
    }
    // The file's last line, without a line end: its value reads as empty
    // until it has one.
    line_end_to_add = LineEndBefore(raw, offsets.back());
  }
  const std::size_t value_begin = static_cast<std::size_t>(record.value_begin);
  if (value_begin + hex.size() + 1 > kEntryLineMaxChars) {
    error = place + ": with the new value the entry line would be longer than the " +
            std::to_string(kEntryLineMaxChars) + " characters dbrunner reads of it";
    return false;
  }
  // From just after the ";" before the value up to the line end (or the end
  // of the text); a carriage return before the line feed stays.
  const std::size_t raw_begin = offsets[entry.begin + value_begin - 1] + 1;
  std::size_t raw_end = offsets.back();
  if (record.line_feed != -1) {
    raw_end = offsets[entry.begin + static_cast<std::size_t>(record.line_feed)];
    if (raw_end > raw_begin && raw[raw_end - 1] == '\r') --raw_end;
  }
  bytes.assign(raw.substr(0, raw_begin));
  bytes += hex;
  bytes += line_end_to_add;
  bytes += raw.substr(raw_end);
  return true;
}

bool AppendRecord(std::string_view raw, std::string_view text, const CredentialScan& scan,
                  std::string_view key, std::string_view hex, std::string& bytes,
                  std::string& error) {
  if (scan.has_trailing_line()) {
    error = DescribePlace(scan.lines.back()) +
            ": a single last line that dbrunner never reads; a record appended after it would "
            "be paired out of step. Remove that line or complete its record first" +
            std::string(kSeeCheck);
    return false;
  }
  if (!text.empty() && text.back() != '\n') {
    const ScannedRecord& last = scan.records.back();
    for (const std::string_view lookup : kLookupKeys) {
      if (FirstAnswer(scan, lookup) != scan.records.size() - 1) continue;
      error = DescribePlace(scan.lines[last.group_line + 1]) +
              ": the file's last line has no line end, so dbrunner reads the value there (for " +
              std::string(lookup) +
              ") as empty; appending a record would change that. Run set for " +
              std::string(lookup) + " first, or end the line by hand";
      return false;
    }
  }
  const std::vector<std::size_t> offsets = TextToRawOffsets(raw);
  // Before a Ctrl-Z, since dbrunner reads nothing after it.
  const std::size_t at = offsets.back();
  const std::string_view eol = LineEndBefore(raw, at);
  bytes.assign(raw.substr(0, at));
  if (!text.empty() && text.back() != '\n') bytes += eol;
  bytes += kWrittenGroupLine;
  bytes += eol;
  bytes += std::to_string(NextRecordNumber(scan));
  bytes += ';';
  bytes += key;
  bytes += ';';
  bytes += hex;
  bytes += eol;
  bytes += raw.substr(at);
  return true;
}

}  // namespace

bool CheckValueFits(std::string_view value, std::string& error) {
  if (value.find('\0') != std::string_view::npos) {
    error = "the value holds a zero byte; dbrunner's values end at the first one";
    return false;
  }
  if (value.size() > kMaxValueChars) {
    error = "the value has " + std::to_string(value.size()) + " characters; dbrunner reads " +
            std::to_string(kMaxValueChars) + " at most (" + std::to_string(kCryptFieldMaxChars) +
            " hex digits)";
    return false;
  }
  return true;
}

bool PlanSetValue(const std::optional<std::string>& raw, std::string_view key,
                  std::string_view value, SetPlan& plan, std::string& error) {
  if (std::find(kLookupKeys.begin(), kLookupKeys.end(), key) == kLookupKeys.end()) {
    error =
        "KEY must be NET8, LOGIN, PASS or DB_SYSTEM, spelled so (dbrunner reads no other), "
        "not '" +
        std::string(key) + "'";
    return false;
  }
  if (!CheckValueFits(value, error)) return false;
  if (key == kLookupKeys[0] && value.size() > kDbNameMaxChars) {
    error = "the NET8 value has " + std::to_string(value.size()) + " characters; DbName holds " +
            std::to_string(kDbNameMaxChars) + " at most, and dbrunner leaves a longer one empty";
    return false;
  }
  const std::string hex = EncryptHexString(value);
  const std::string_view old_bytes = raw ? std::string_view(*raw) : std::string_view();
  const std::string text = ApplyTextMode(old_bytes);
  const CredentialScan scan = ScanCredentialText(text);
  static constexpr std::string_view kCannotFollow =
      "dbrunner-crypt cannot follow this file the way dbrunner reads it (a fault of "
      "dbrunner-crypt; please report it); the file is left unchanged";
  if (!AgreesWithReader(scan, text)) {
    error = kCannotFollow;
    return false;
  }

  const std::optional<std::size_t> answer = FirstAnswer(scan, key);
  std::string bytes;
  if (answer) {
    const ScannedRecord& record = scan.records[*answer];
    if (AnswersEveryLookup(record)) {
      // A record written anywhere else would never be read: this one answers first.
      error = DescribePlace(scan.lines[record.group_line]) +
              ": the record there answers every lookup, so dbrunner reads " + std::string(key) +
              " from it and never from a record written for it. Correct that record first" +
              std::string(kSeeCheck);
      return false;
    }
    if (!ReplaceValueInPlace(old_bytes, text, scan, record, hex, bytes, error)) return false;
  } else if (!AppendRecord(old_bytes, text, scan, key, hex, bytes, error)) {
    return false;
  }

  // What dbrunner will read from the new file: the value for `key` from a
  // record of its own, and the same values as before for the other keys.
  const std::string new_text = ApplyTextMode(bytes);
  const CredentialScan new_scan = ScanCredentialText(new_text);
  if (!AgreesWithReader(new_scan, new_text)) {
    error = kCannotFollow;
    return false;
  }
  CryptRecord before;
  CryptRecord after;
  for (const std::string_view lookup : kLookupKeys) {
    GetCryptValue("", lookup, 0, std::string_view(text), before);
    GetCryptValue("", lookup, 0, std::string_view(new_text), after);
    if (lookup == key) {
      if (after.line == 0 || after.value != value || after.key != key || after.group.empty() ||
          after.number == 0) {
        error = kCannotFollow;
        return false;
      }
      plan.line = new_scan.lines[after.line - 1].line;
    } else if (after.value != before.value) {
      error = "writing " + std::string(key) + " would also change what dbrunner reads for " +
              std::string(lookup) + "; the file is left unchanged" + std::string(kSeeCheck);
      return false;
    }
  }
  plan.bytes = std::move(bytes);
  plan.appended = !answer;
  return true;
}

// ---- Files ----------------------------------------------------------------
// The few calls without a portable form sit in the platform blocks below.
namespace {

#ifdef _WIN32

// Windows keeps access rights in the folder's inherited ACL, which a file
// created in the same folder gets as well; there is nothing more to carry over.
struct FileIdentity {};

bool ReadIdentity(const fs::path&, FileIdentity&, std::string&) { return true; }

std::FILE* OpenForReading(const fs::path& path) { return _wfopen(path.c_str(), L"rb"); }

std::FILE* CreateTempFile(const fs::path& folder, const fs::path& name, fs::path& temp) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = folder / (L"." + name.wstring() + L"." + std::to_wstring(random()) + L".tmp");
    int fd = -1;
    if (_wsopen_s(&fd, temp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYRW,
                  _S_IREAD | _S_IWRITE) == 0) {
      std::FILE* file = _fdopen(fd, "wb");
      if (file == nullptr) _close(fd);
      return file;
    }
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

bool SyncFile(std::FILE* file) { return _commit(_fileno(file)) == 0; }

bool KeepIdentity(std::FILE*, const std::optional<FileIdentity>&, std::string&) { return true; }

bool MoveOver(const fs::path& from, const fs::path& to, std::string& error) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  error = std::system_category().message(static_cast<int>(GetLastError()));
  return false;
}

void SyncFolder(const fs::path&) {}

#else

struct FileIdentity {
  mode_t mode = 0;
  uid_t owner = 0;
  gid_t group = 0;
};

bool ReadIdentity(const fs::path& path, FileIdentity& identity, std::string& error) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    error = ErrnoText(errno);
    return false;
  }
  identity = {info.st_mode, info.st_uid, info.st_gid};
  return true;
}

std::FILE* OpenForReading(const fs::path& path) { return std::fopen(path.c_str(), "rb"); }

// mkstemp creates the file with mode 0600, which a new credential file keeps.
std::FILE* CreateTempFile(const fs::path& folder, const fs::path& name, fs::path& temp) {
  std::string hidden_name = ".";
  hidden_name += name.string();
  hidden_name += ".XXXXXX";
  std::string pattern = (folder / hidden_name).string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return nullptr;
  temp = pattern;
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    const int saved = errno;
    ::close(fd);
    ::unlink(pattern.c_str());
    errno = saved;
  }
  return file;
}

bool SyncFile(std::FILE* file) { return ::fsync(::fileno(file)) == 0; }

bool KeepIdentity(std::FILE* file, const std::optional<FileIdentity>& existing,
                  std::string& error) {
  if (!existing) return true;
  const int fd = ::fileno(file);
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    error = ErrnoText(errno);
    return false;
  }
  // The owner first: changing it clears set-user-ID bits that the mode restores.
  if ((info.st_uid != existing->owner || info.st_gid != existing->group) &&
      ::fchown(fd, existing->owner, existing->group) != 0) {
    error = "cannot keep the file's owner and group: " + ErrnoText(errno);
    return false;
  }
  if (::fchmod(fd, existing->mode & 07777) != 0) {
    error = "cannot keep the file's permissions: " + ErrnoText(errno);
    return false;
  }
  return true;
}

bool MoveOver(const fs::path& from, const fs::path& to, std::string& error) {
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  error = ErrnoText(errno);
  return false;
}

// Makes the rename itself durable.
void SyncFolder(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  static_cast<void>(::fsync(fd));  // the new file is in place either way
  ::close(fd);
}

#endif

// Removes the temporary file unless it has been renamed into place.
class TempFileGuard {
 public:
  explicit TempFileGuard(fs::path path) : path_(std::move(path)) {}
  ~TempFileGuard() {
    if (path_.empty()) return;
    std::error_code ignored;
    fs::remove(path_, ignored);
  }
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;
  void Release() { path_.clear(); }

 private:
  fs::path path_;
};

}  // namespace

ReadStatus ReadWholeFile(const fs::path& path, std::string& bytes, std::string& error) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) return ReadStatus::kMissing;
  if (ec) {
    error = ec.message();
    return ReadStatus::kFailed;
  }
  if (fs::is_directory(status)) {
    error = "it is a folder";
    return ReadStatus::kFailed;
  }
  std::FILE* file = OpenForReading(path);
  if (file == nullptr) {
    error = ErrnoText(errno);
    return ReadStatus::kFailed;
  }
  bytes.clear();
  char buffer[65536];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  const int read_error = errno;
  std::fclose(file);
  if (failed) {
    error = ErrnoText(read_error);
    return ReadStatus::kFailed;
  }
  return ReadStatus::kRead;
}

bool ReplaceFileContents(const fs::path& path, std::string_view bytes, std::string& error) {
  std::error_code ec;
  fs::path target = path;
  // Through a symbolic link the file it points to is replaced, not the link.
  if (fs::is_symlink(fs::symlink_status(path, ec))) {
    target = fs::canonical(path, ec);
    if (ec) {
      error = "cannot follow the symbolic link: " + ec.message();
      return false;
    }
  }
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");

  std::optional<FileIdentity> existing;
  if (fs::exists(fs::status(target, ec))) {
    FileIdentity identity;
    if (!ReadIdentity(target, identity, error)) return false;
    existing = identity;
  }

  fs::path temp;
  std::FILE* file = CreateTempFile(folder, target.filename(), temp);
  if (file == nullptr) {
    error = "cannot create a temporary file in '" + folder.string() + "': " + ErrnoText(errno);
    return false;
  }
  TempFileGuard guard(temp);
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
                 std::fflush(file) == 0 && SyncFile(file);
  int write_error = errno;
  if (written && !KeepIdentity(file, existing, error)) {
    std::fclose(file);
    return false;
  }
  if (std::fclose(file) != 0 && written) {
    written = false;
    write_error = errno;
  }
  if (!written) {
    error = "cannot write the temporary file '" + temp.string() + "': " + ErrnoText(write_error);
    return false;
  }
  if (!MoveOver(temp, target, error)) {
    error = "cannot rename '" + temp.string() + "' to '" + target.string() + "': " + error;
    return false;
  }
  guard.Release();
  SyncFolder(folder);
  return true;
}

}  // namespace dbrunner
