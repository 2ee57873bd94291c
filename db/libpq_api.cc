// Loading libpq and resolving its entry points.
#include "db/libpq_api.h"

#include <memory>
#include <string>
#include <vector>

#include "db/client_library.h"

namespace dbrunner::libpq {

std::vector<std::string> DefaultLibraryNames() {
#ifdef _WIN32
  return {"libpq.dll"};
#else
  // The development link name is a fallback for systems without the soname.
  return {"libpq.so.5", "libpq.so"};
#endif
}

std::unique_ptr<Api> Load(const std::vector<std::string>& library_names, std::string* error) {
  std::unique_ptr<DynamicLibrary> library = OpenClientLibrary(library_names, error);
  if (!library) return nullptr;
  auto api = std::make_unique<Api>();
  EntryPoints entry(*library);
  entry.Resolve("PQconnectStartParams", &api->PQconnectStartParams);
  entry.Resolve("PQconnectPoll", &api->PQconnectPoll);
  entry.Resolve("PQstatus", &api->PQstatus);
  entry.Resolve("PQsocket", &api->PQsocket);
  entry.Resolve("PQsetErrorVerbosity", &api->PQsetErrorVerbosity);
  entry.Resolve("PQerrorMessage", &api->PQerrorMessage);
  entry.Resolve("PQtransactionStatus", &api->PQtransactionStatus);
  entry.Resolve("PQfinish", &api->PQfinish);
  entry.Resolve("PQexec", &api->PQexec);
  entry.Resolve("PQexecParams", &api->PQexecParams);
  entry.Resolve("PQresultStatus", &api->PQresultStatus);
  entry.Resolve("PQresultErrorMessage", &api->PQresultErrorMessage);
  entry.Resolve("PQresultErrorField", &api->PQresultErrorField);
  entry.Resolve("PQcmdStatus", &api->PQcmdStatus);
  entry.Resolve("PQntuples", &api->PQntuples);
  entry.Resolve("PQgetisnull", &api->PQgetisnull);
  entry.Resolve("PQgetvalue", &api->PQgetvalue);
  entry.Resolve("PQclear", &api->PQclear);
  if (!entry.missing().empty()) {
    if (error != nullptr) *error = library->name() + " lacks " + entry.missing();
    return nullptr;
  }
  api->library = std::move(library);
  return api;
}

}  // namespace dbrunner::libpq
