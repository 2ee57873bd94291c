// Loading the ODBC driver manager and resolving its entry points.
#include "db/odbc_api.h"

#ifndef _WIN32
#include <dlfcn.h>
#endif

#include <memory>
#include <string>
#include <vector>

#include "db/client_library.h"

namespace dbrunner::odbc {

std::vector<std::string> DefaultLibraryNames() {
#ifdef _WIN32
  return {"odbc32.dll"};
#else
  // unixODBC; the development link name is a fallback for other layouts.
  return {"libodbc.so.2", "libodbc.so"};
#endif
}

std::unique_ptr<Api> Load(const std::vector<std::string>& library_names, std::string* error) {
  std::unique_ptr<DynamicLibrary> library = OpenClientLibrary(library_names, error);
  if (!library) return nullptr;
  auto api = std::make_unique<Api>();
  EntryPoints entry(*library);
  entry.Resolve("SQLAllocHandle", &api->SQLAllocHandle);
  entry.Resolve("SQLFreeHandle", &api->SQLFreeHandle);
  entry.Resolve("SQLSetEnvAttr", &api->SQLSetEnvAttr);
  entry.Resolve("SQLSetConnectAttr", &api->SQLSetConnectAttr);
  entry.Resolve("SQLConnect", &api->SQLConnect);
  entry.Resolve("SQLDisconnect", &api->SQLDisconnect);
  entry.Resolve("SQLGetInfo", &api->SQLGetInfo);
  entry.Resolve("SQLPrepare", &api->SQLPrepare);
  entry.Resolve("SQLExecute", &api->SQLExecute);
  entry.Resolve("SQLMoreResults", &api->SQLMoreResults);
  entry.Resolve("SQLFetch", &api->SQLFetch);
  entry.Resolve("SQLGetData", &api->SQLGetData);
  entry.Resolve("SQLEndTran", &api->SQLEndTran);
  entry.Resolve("SQLGetDiagRec", &api->SQLGetDiagRec);
  if (!entry.missing().empty()) {
    if (error != nullptr) *error = library->name() + " lacks " + entry.missing();
    return nullptr;
  }
#ifndef _WIN32
  // Drivers read their settings through unixODBC's installer library, and
  // some (SQLite's) load it themselves and unload it at disconnect, losing
  // its cache of the configuration files: the sanitizer build reports that
  // as a leak. Loaded here for good, it stays; most drivers load it anyway.
  if (void* installer = dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NODELETE)) dlclose(installer);
#endif
  api->library = std::move(library);
  return api;
}

}  // namespace dbrunner::odbc
