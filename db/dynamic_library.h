// Loading a database client library at run time, so that only the run that
// needs a server client pays for loading it.
#ifndef DBRUNNER_DB_DYNAMIC_LIBRARY_H_
#define DBRUNNER_DB_DYNAMIC_LIBRARY_H_

#include <initializer_list>
#include <memory>
#include <string>

namespace dbrunner {

// An open shared library (a .so, or a .dll on Windows), closed on destruction.
// Whatever was resolved from it must not be used after that.
class DynamicLibrary {
  struct OpenedKey {};  // only Open creates libraries

 public:
  // Loads the first of `names` that loads, found the way the platform finds
  // libraries. Returns null and describes every failure in `*error` when none does.
  static std::unique_ptr<DynamicLibrary> Open(std::initializer_list<const char*> names,
                                              std::string* error);

  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // The address of `name`, or null when the library lacks it.
  void* Symbol(const char* name) const;

  // Sets `*function` to the entry point `name`; false when it is missing.
  template <typename Function>
  bool Resolve(const char* name, Function** function) const {
    *function = reinterpret_cast<Function*>(Symbol(name));
    return *function != nullptr;
  }

  const std::string& name() const { return name_; }

  DynamicLibrary(OpenedKey, void* handle, std::string name)
      : handle_(handle), name_(std::move(name)) {}

 private:
  void* handle_;
  std::string name_;
};

}  // namespace dbrunner

#endif  // DBRUNNER_DB_DYNAMIC_LIBRARY_H_
