// Helpers shared by the tests: scoped temporary directories, files, and
// running a program with its output captured.
#ifndef DBRUNNER_TESTS_TEST_UTIL_H_
#define DBRUNNER_TESTS_TEST_UTIL_H_

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

struct ProcessResult {
  int exit_code = -1;  // the process's exit status, -1 when it did not exit normally
  std::string out;     // standard output
  std::string err;     // standard error
};

// Runs `argv` (argv[0] is the program's path) in `working_dir` with standard
// input from /dev/null and waits for it.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::filesystem::path& working_dir);

}  // namespace dbrunner::testing

#endif  // DBRUNNER_TESTS_TEST_UTIL_H_
