#include "tests/test_util.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

extern char** environ;

namespace dbrunner::testing {

ScopedTempDir::ScopedTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "dbrunner-test.XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ignored;
  // Tests may leave read-only files or directories behind; make them removable.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

std::string ScopedTempDir::File(std::string_view name) const { return (path_ / name).string(); }

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {

std::string DrainFd(int fd) {
  std::string text;
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::filesystem::path& working_dir) {
  // Output goes to temporary files, so a large output cannot fill a pipe and
  // stall the child while we wait for it.
  std::FILE* out_file = std::tmpfile();
  std::FILE* err_file = std::tmpfile();
  if (out_file == nullptr || err_file == nullptr) throw std::runtime_error("tmpfile failed");

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fileno(out_file), 1);
  posix_spawn_file_actions_adddup2(&actions, fileno(err_file), 2);
  posix_spawn_file_actions_addchdir_np(&actions, working_dir.c_str());

  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  pid_t pid = 0;
  int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);

  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  ProcessResult result;
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::rewind(out_file);
  std::rewind(err_file);
  result.out = DrainFd(fileno(out_file));
  result.err = DrainFd(fileno(err_file));
  std::fclose(out_file);
  std::fclose(err_file);
  return result;
}

}  // namespace dbrunner::testing
