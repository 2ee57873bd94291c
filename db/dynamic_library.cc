// Run-time loading with dlopen, or LoadLibrary on Windows.
#include "db/dynamic_library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace dbrunner {

std::unique_ptr<DynamicLibrary> DynamicLibrary::Open(std::initializer_list<const char*> names,
                                                     std::string* error) {
  std::string errors;
  for (const char* name : names) {
#ifdef _WIN32
    void* handle = reinterpret_cast<void*>(LoadLibraryA(name));
    const std::string reason = "error " + std::to_string(GetLastError());
#else
    // RTLD_LOCAL keeps a client's symbols from answering for another's.
    void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    const char* text = handle == nullptr ? dlerror() : nullptr;
    const std::string reason = text != nullptr ? text : "";
#endif
    if (handle != nullptr) return std::make_unique<DynamicLibrary>(OpenedKey{}, handle, name);
    if (!errors.empty()) errors += "; ";
    errors += std::string(name) + ": " + reason;
  }
  if (error != nullptr) *error = "cannot load the client library (" + errors + ")";
  return nullptr;
}

DynamicLibrary::~DynamicLibrary() {
#ifdef _WIN32
  FreeLibrary(reinterpret_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
}

void* DynamicLibrary::Symbol(const char* name) const {
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
#else
  return dlsym(handle_, name);
#endif
}

}  // namespace dbrunner
