// Test helpers: temporary directories, files and child processes, on POSIX and Windows.
#include "tests/test_util.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <random>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace dbrunner::testing {

ScopedTempDir::ScopedTempDir() {
#ifdef _WIN32
  std::random_device random;
  for (int attempt = 0; path_.empty(); ++attempt) {
    if (attempt == 100) throw std::runtime_error("cannot create a temporary directory");
    const std::filesystem::path candidate =
        std::filesystem::temp_directory_path() / ("dbrunner-test." + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) path_ = candidate;
  }
#else
  std::string pattern = (std::filesystem::temp_directory_path() / "dbrunner-test.XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
#endif
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

std::FILE* TempFile() {
#ifdef _WIN32
  // The Windows C runtime's tmpfile makes its files in the drive's root under
  // names that test processes running side by side can share; "D" removes the
  // file when it is closed.
  static std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path name =
        std::filesystem::temp_directory_path() /
        ("dbrunner-capture." + std::to_string(GetCurrentProcessId()) + "." +
         std::to_string(random()));
    if (std::filesystem::exists(name)) continue;
    if (std::FILE* file = std::fopen(name.string().c_str(), "w+bD")) return file;
  }
  throw std::runtime_error("cannot create a temporary file");
#else
  std::FILE* file = std::tmpfile();
  if (file == nullptr) throw std::runtime_error("tmpfile failed");
  return file;
#endif
}

namespace {

// Undoes text mode's "\n" -> "\r\n"; a "\n" without its "\r" did not come
// through text mode and fails the test.
std::string FromTextMode(const std::string& text) {
  std::string plain;
  plain.reserve(text.size());
  for (const char c : text) {
    if (c == '\n') {
      if (plain.empty() || plain.back() != '\r') {
        ADD_FAILURE() << "a line end without CR in text-mode output:\n" << text;
      } else {
        plain.pop_back();
      }
    }
    plain.push_back(c);
  }
  return plain;
}

}  // namespace

#ifdef _WIN32

namespace {

// One argument as the C runtime's command-line parser reads it back.
std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count double only before a quote.
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    quoted.push_back(c);
    backslashes = 0;
  }
  quoted.append(2 * backslashes, '\\');
  quoted.push_back('"');
  return quoted;
}

// A handle the child inherits; closed with the object.
class InheritedHandle {
 public:
  explicit InheritedHandle(HANDLE handle) : handle_(handle) {
    if (handle_ == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open a child's handle");
  }
  ~InheritedHandle() { CloseHandle(handle_); }
  InheritedHandle(const InheritedHandle&) = delete;
  InheritedHandle& operator=(const InheritedHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

SECURITY_ATTRIBUTES Inheritable() {
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  attributes.bInheritHandle = TRUE;
  return attributes;
}

// An empty file that goes away when its handle is closed.
InheritedHandle TemporaryOutputFile() {
  char dir[MAX_PATH + 1];
  char name[MAX_PATH + 1];
  if (GetTempPathA(sizeof dir, dir) == 0 || GetTempFileNameA(dir, "dbr", 0, name) == 0) {
    throw std::runtime_error("cannot name a temporary file");
  }
  SECURITY_ATTRIBUTES attributes = Inheritable();
  return InheritedHandle(CreateFileA(
      name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      &attributes, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
}

std::string ReadFromStart(const InheritedHandle& file) {
  // The child shared the handle's file position; read from the beginning.
  SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
  std::string text;
  char buffer[65536];
  DWORD n = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr) && n > 0)
    text.append(buffer, n);
  return text;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::filesystem::path& working_dir) {
  std::string command_line;
  for (const std::string& a : argv) {
    if (!command_line.empty()) command_line += ' ';
    command_line += QuoteArgument(a);
  }
  SECURITY_ATTRIBUTES attributes = Inheritable();
  const InheritedHandle in(CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &attributes, OPEN_EXISTING, 0, nullptr));
  const InheritedHandle out = TemporaryOutputFile();
  const InheritedHandle err = TemporaryOutputFile();

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in.get();
  startup.hStdOutput = out.get();
  startup.hStdError = err.get();
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(argv[0].c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      working_dir.string().c_str(), &startup, &process)) {
    throw std::runtime_error("cannot start " + argv[0]);
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  const BOOL exited = GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);

  ProcessResult result;
  result.exit_code = exited ? static_cast<int>(code) : -1;
  result.out = FromTextMode(ReadFromStart(out));
  result.err = FromTextMode(ReadFromStart(err));
  return result;
}

#else  // POSIX

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

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// Wine reads a Linux argument as UTF-8 (in a UTF-8 locale) and hands the
// program its ANSI form, code page 1252; so the program gets the bytes the
// test meant, they are passed as the UTF-8 of their code page 1252 reading.
std::string Cp1252ToUtf8(std::string_view bytes) {
  // 0x81, 0x8D, 0x8F, 0x90 and 0x9D have no character and stay as they are.
  static constexpr char32_t k80To9F[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::string utf8;
  for (const char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    const char32_t u = (c >= 0x80 && c < 0xA0) ? k80To9F[c - 0x80] : c;
    if (u < 0x80) {
      utf8.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
      utf8.push_back(static_cast<char>(0xC0 | (u >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
      utf8.push_back(static_cast<char>(0xE0 | (u >> 12)));
      utf8.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      utf8.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
  return utf8;
}

// argv as started: through the wrapper when the program has a Windows build
// in DBRUNNER_TEST_PROGRAM_DIR. `text_mode` tells that its output has CR LF.
std::vector<std::string> ForTargetPlatform(std::vector<std::string> argv, bool& text_mode) {
  text_mode = false;
  const std::string dir = EnvironmentValue("DBRUNNER_TEST_PROGRAM_DIR");
  if (dir.empty()) return argv;
  const std::filesystem::path program =
      std::filesystem::path(dir) / (std::filesystem::path(argv[0]).filename().string() + ".exe");
  if (!std::filesystem::exists(program)) return argv;
  const std::string wrapper = EnvironmentValue("DBRUNNER_TEST_WRAPPER");
  if (wrapper.empty()) throw std::runtime_error("DBRUNNER_TEST_WRAPPER is not set");
  argv[0] = std::filesystem::absolute(program).string();
  for (std::size_t i = 1; i < argv.size(); ++i) argv[i] = Cp1252ToUtf8(argv[i]);
  argv.insert(argv.begin(), wrapper);
  text_mode = true;
  return argv;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv_in,
                         const std::filesystem::path& working_dir) {
  bool text_mode = false;
  const std::vector<std::string> argv = ForTargetPlatform(argv_in, text_mode);
  // Output goes to temporary files, so a large output cannot fill a pipe and
  // stall the child while we wait for it.
  std::FILE* out_file = TempFile();
  std::FILE* err_file = TempFile();

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
  if (text_mode) {
    result.out = FromTextMode(result.out);
    result.err = FromTextMode(result.err);
  }
  return result;
}

#endif

}  // namespace dbrunner::testing
