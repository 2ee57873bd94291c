// The run sequence: command line, credentials, connect, statement, parameters,
// execute, commit, in this order and no other.
#include "driver/run_sequence.h"

#include "credentials/credential_file.h"
#include "db/dbrunner_sql.h"
#include "db/sqlhlp.h"
#include "driver/command_line.h"
#include "statement/parameters.h"
#include "statement/statement_file.h"

namespace dbrunner {
namespace {

// Fills DbLogin from the four lookups. The file is read once; every lookup
// still scans it from its first line, so one record may answer several.
void ReadDbLogin(const std::string& path, DbLogin& login) {
  login = DbLogin{};
  const std::optional<std::string> file_text = ReadCredentialFile(path);
  CryptRecord record;

  GetCryptValue("", "NET8", 0, file_text, record);
  // A value longer than the field, 41 characters included, is left out rather
  // than cut: a cut name would connect to another database.
  if (record.value.size() <= kDbNameMaxChars) login.DbName = record.value;

  GetCryptValue("", "LOGIN", 0, file_text, record);
  login.User = record.value;
  GetCryptValue("", "PASS", 0, file_text, record);
  login.Password = record.value;
  // Kept whole; a DbSys too long to name a statement file finds no statement.
  GetCryptValue("", "DB_SYSTEM", 0, file_text, record);
  login.DbSys = record.value;
}

void PrintDbLogin(const DbLogin& login, std::FILE* out) {
  std::fputs("\n DB-Informationen:\n", out);
  std::fprintf(out, "  DbSys    = '%s'\n", login.DbSys.c_str());
  std::fprintf(out, "  DbName   = '%s'\n", login.DbName.c_str());
  std::fprintf(out, "  Benutzer = '%s'\n", login.User.c_str());
  std::fprintf(out, "  Passwort = '%s'\n", login.Password.c_str());
}

}  // namespace

std::int32_t RunSequence(int argc, const char* const* argv, std::FILE* out,
                         const BackendFactory& factory) {
  RunState state;
  state.exit_status = CheckParameters(argc, argv, state, out);
  if (state.exit_status != 0) return state.exit_status;

  ReadDbLogin(argv[2], state.db_login);
  const DbLogin& login = state.db_login;
  if (state.debug_mode) PrintDbLogin(login, out);

  DbSession session;
  session.factory = factory;
  state.exit_status = dbConnect(session, login.User, login.Password, login.DbName, kSchemaName);
  if (state.exit_status != 0) {
    std::fprintf(out, "dbConnect_Status: %d\n", static_cast<int>(state.exit_status));
    // The failed connection's status, not 0: a batch job must see the failure.
    return state.exit_status;
  }

  std::FILE* debug_out = state.debug_mode ? out : nullptr;
  state.exit_status = GetIniValues(state.section_name, login.DbSys, debug_out, state.sql_text);
  if (state.exit_status != 0) return state.exit_status;

  int refused = 0;
  if (ReplaceParameters(*state.sql_text, state.param_list, &refused) != 0) {
    // Nothing has been executed; the session ends without a commit.
    std::fprintf(out, "Unzulaessiger Wert fuer Platzhalter $parm%02d\n", refused);
    return kStatusParameterRefused;
  }
  if (state.debug_mode) {
    std::fputs("\nSQL-Statement modifiziert:\n", out);
    std::fprintf(out, "'%s'\n\n", state.sql_text->c_str());
  }

  state.exit_status = dbExecute(session, *state.sql_text);
  if (state.debug_mode) {
    std::fprintf(out, "\n SQL-Fehler : %d\n", static_cast<int>(state.exit_status));
  }

  // The commit is issued after a failed execute as well. When the execute
  // succeeded, a failed commit is the run's result: nothing was committed.
  std::int32_t commit_status = 0;
  if (dbCommit(session, &commit_status) == 0 && state.exit_status == 0) {
    state.exit_status = commit_status;
  }
  return state.exit_status;
}

}  // namespace dbrunner
