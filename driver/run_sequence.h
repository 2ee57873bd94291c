// The run: one job per process, from the command line to the exit status.
// This header holds the run's shared state.
#ifndef DBRUNNER_DRIVER_RUN_SEQUENCE_H_
#define DBRUNNER_DRIVER_RUN_SEQUENCE_H_

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "db/backend.h"

namespace dbrunner {

// The connection values from the credential file.
struct DbLogin {
  std::string DbName;  // at most kDbNameMaxChars
  std::string User;
  std::string Password;
  std::string DbSys;  // names the statement file
};

// DbName is a field of 41 bytes.
inline constexpr std::size_t kDbNameMaxChars = 40;

// The schema every session switches to.
inline constexpr const char* kSchemaName = "ZIZIVUZA";

// Everything one run holds from start to end.
struct RunState {
  DbLogin db_login;
  std::string section_name;
  std::vector<std::string> param_list;
  std::optional<std::string> sql_text;  // absent until a piece is loaded
  bool debug_mode = false;
  std::int32_t exit_status = 0;
};

// Runs the whole job and returns its status (not yet narrowed to the
// platform's exit code). All output goes to `out`.
std::int32_t RunSequence(int argc, const char* const* argv, std::FILE* out,
                         const BackendFactory& factory = ChooseBackend);

}  // namespace dbrunner

#endif  // DBRUNNER_DRIVER_RUN_SEQUENCE_H_
