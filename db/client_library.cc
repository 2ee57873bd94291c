// Loading a server client library.
#include "db/client_library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <memory>
#include <string>
#include <vector>

#include "db/dynamic_library.h"

namespace dbrunner {
namespace {

// Keeps a loaded library in memory until the process ends, whatever closes
// it. The clients pull in libraries that are not made to be unloaded (TLS,
// Kerberos, the ODBC drivers): unloading them runs their exit handlers early,
// and what their globals hold becomes unreachable, which the leak checker of
// the sanitizer build reports. A process runs one session, so nothing is lost.
void KeepLoaded(const std::string& name) {
#ifdef _WIN32
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, name.c_str(), &module);
#else
  // Opening it again with RTLD_NODELETE marks the loaded library for good.
  if (void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE)) dlclose(handle);
#endif
}

}  // namespace

std::unique_ptr<DynamicLibrary> OpenClientLibrary(const std::vector<std::string>& names,
                                                  std::string* error) {
  std::string errors;
  for (const std::string& name : names) {
    std::string reason;
    std::unique_ptr<DynamicLibrary> library = DynamicLibrary::Open({name.c_str()}, &reason);
    if (library) {
      KeepLoaded(name);
      return library;
    }
    errors += errors.empty() ? reason : "; " + reason;
  }
  if (error != nullptr) *error = errors.empty() ? "no client library named" : errors;
  return nullptr;
}

}  // namespace dbrunner
