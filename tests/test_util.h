// Helpers shared by the tests: scoped temporary directories, files, and
// running a program with its output captured.
#ifndef DBRUNNER_TESTS_TEST_UTIL_H_
#define DBRUNNER_TESTS_TEST_UTIL_H_

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace dbrunner::testing {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes out of scope.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // `name` inside the directory, as a string.
  std::string File(std::string_view name) const;

 private:
  std::filesystem::path path_;
};

// Writes `bytes` exactly (binary), replacing the file.
void WriteFile(const std::filesystem::path& path, std::string_view bytes);
// The file's bytes; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// A new, empty temporary file open for reading and writing, removed when it
// is closed. Never null: a file that cannot be made throws.
std::FILE* TempFile();

struct ProcessResult {
  // The process's exit status (on Windows all 32 bits), -1 when it did not
  // exit normally.
  int exit_code = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `argv` (argv[0] is the program's path) in `working_dir` with standard
// input from the null device and waits for it.
//
// The output of a Windows program, written in text mode, is turned back into
// "\n" line ends; a bare "\n" in it fails the test.
//
// The same tests check a Windows build from Linux: with the environment
// variables DBRUNNER_TEST_PROGRAM_DIR (the Windows build's directory) and
// DBRUNNER_TEST_WRAPPER (the path of wine64), a program whose name plus ".exe"
// is in that directory runs from there through the wrapper. Its arguments
// reach it as the same 8-bit text (code page 1252; Wine must run in a UTF-8
// locale). Its exit code is the low 8 bits, as on Linux, except that Wine
// turns a nonzero code whose low byte is 0 into 1.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::filesystem::path& working_dir);

}  // namespace dbrunner::testing

#endif  // DBRUNNER_TESTS_TEST_UTIL_H_
