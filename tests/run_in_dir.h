// Runs a test body with the working directory changed, restoring it after.
#ifndef DBRUNNER_TESTS_RUN_IN_DIR_H_
#define DBRUNNER_TESTS_RUN_IN_DIR_H_

#include <filesystem>

namespace dbrunner::testing {

class ScopedWorkingDir {
 public:
  explicit ScopedWorkingDir(const std::filesystem::path& dir)
      : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~ScopedWorkingDir() {
    std::error_code ignored;
    std::filesystem::current_path(old_, ignored);
  }
  ScopedWorkingDir(const ScopedWorkingDir&) = delete;
  ScopedWorkingDir& operator=(const ScopedWorkingDir&) = delete;

 private:
  std::filesystem::path old_;
};

}  // namespace dbrunner::testing

#endif  // DBRUNNER_TESTS_RUN_IN_DIR_H_
