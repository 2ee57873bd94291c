// Loading a server client library and resolving its entry points, for the
// backends that load their client only when they connect.
#ifndef DBRUNNER_DB_CLIENT_LIBRARY_H_
#define DBRUNNER_DB_CLIENT_LIBRARY_H_

#include <memory>
#include <string>
#include <vector>

#include "db/dynamic_library.h"

namespace dbrunner {

// Loads the first of `names` that loads. Null, with every attempt's failure in
// `*error`, when none does.
std::unique_ptr<DynamicLibrary> OpenClientLibrary(const std::vector<std::string>& names,
                                                  std::string* error);

// Collects the entry points of one library; names that are missing pile up
// in missing(), so one message can list them all.
class EntryPoints {
 public:
  explicit EntryPoints(const DynamicLibrary& library) : library_(library) {}

  template <typename Function>
  void Resolve(const char* name, Function** function) {
    if (library_.Resolve(name, function)) return;
    missing_ += missing_.empty() ? name : std::string(", ") + name;
  }

  const std::string& missing() const { return missing_; }

 private:
  const DynamicLibrary& library_;
  std::string missing_;
};

}  // namespace dbrunner

#endif  // DBRUNNER_DB_CLIENT_LIBRARY_H_
