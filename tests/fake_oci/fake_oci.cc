// A stand-in for the Oracle client library, built for tests only (as
// libclntsh.so): it exports the OCI entry points that the Oracle backend uses,
// logs every call but OCIErrorGet to the file named by FAKE_OCI_LOG, and
// answers as the script named by FAKE_OCI_SCRIPT says.
//
// The script has one rule a line: "CALL N RETURN [ORA [MESSAGE]]". CALL is an
// entry point's name, for OCIAttrSet and OCIAttrGet followed by "." and the
// attribute (OCIAttrSet.CALL_TIMEOUT); N is which call of it, counted from the
// environment's creation, or "*" for every one; RETURN is OCI_ERROR,
// OCI_SUCCESS_WITH_INFO, OCI_NO_DATA, OCI_INVALID_HANDLE or a number; ORA
// puts an error record with that ORA number (and MESSAGE) on the call's error
// handle, while a failure without ORA clears the record. A failing call
// changes nothing. The script is read anew at each OCIEnvCreate.
//
// Unscripted calls succeed, but the fake checks what a real client would
// refuse: a handle that is unknown, freed or of another type; a session begun
// without an attached server, or without user and password for
// OCI_CRED_RDBMS; a statement without a begun session; a query executed with
// iters other than 0 (ORA-24374), any other statement with iters 0
// (ORA-24333). Its own refusals are logged as "-> refused: ...". Freeing an
// environment that still has live handles logs them. The library also logs
// "[loaded]" when it is loaded at all.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "db/oci_api.h"

namespace oci = dbrunner::oci;
using oci::OCIEnv;
using oci::OCIError;
using oci::OCIServer;
using oci::OCISession;
using oci::OCISnapshot;
using oci::OCIStmt;
using oci::OCISvcCtx;
using oci::OraText;
using oci::sb4;
using oci::sword;
using oci::ub2;
using oci::ub4;

namespace {

struct Handle {
  ub4 type = 0;
  std::string label;
  bool live = true;
  Handle* env = nullptr;  // the environment it was allocated from
  // Error record (error and environment handles); code 0: none.
  sb4 error_code = 0;
  std::string error_message;
  bool attached = false;      // server
  Handle* server = nullptr;   // service context
  Handle* session = nullptr;  // service context
  bool has_user = false;      // session
  bool has_password = false;
  bool begun = false;
  std::string text;  // statement
};

struct Rule {
  std::string call;
  int occurrence = 0;  // 0: every call
  sword rc = oci::OCI_SUCCESS;
  sb4 ora = 0;
  std::string message;
};

struct State {
  // Never shrinks, so a freed handle is still known as freed.
  std::vector<std::unique_ptr<Handle>> handles;
  std::vector<Rule> rules;
  std::map<std::string, int> calls;
  std::map<std::string, int> labels;
};

State& GetState() {
  static State state;
  return state;
}

void Log(const std::string& line) {
  const char* path = std::getenv("FAKE_OCI_LOG");
  if (path == nullptr || *path == '\0') return;
  if (std::FILE* file = std::fopen(path, "a")) {
    std::fputs(line.c_str(), file);
    std::fputc('\n', file);
    std::fclose(file);
  }
}

__attribute__((constructor)) void LogLoaded() { Log("[loaded]"); }

const char* TypeName(ub4 type) {
  switch (type) {
    case oci::OCI_HTYPE_ENV:
      return "env";
    case oci::OCI_HTYPE_ERROR:
      return "err";
    case oci::OCI_HTYPE_SVCCTX:
      return "svc";
    case oci::OCI_HTYPE_STMT:
      return "stm";
    case oci::OCI_HTYPE_SERVER:
      return "srv";
    case oci::OCI_HTYPE_SESSION:
      return "ses";
    default:
      return "unknown";
  }
}

std::string AttrName(ub4 attr) {
  switch (attr) {
    case oci::OCI_ATTR_SERVER:
      return "SERVER";
    case oci::OCI_ATTR_SESSION:
      return "SESSION";
    case oci::OCI_ATTR_USERNAME:
      return "USERNAME";
    case oci::OCI_ATTR_PASSWORD:
      return "PASSWORD";
    case oci::OCI_ATTR_STMT_TYPE:
      return "STMT_TYPE";
    case oci::OCI_ATTR_CALL_TIMEOUT:
      return "CALL_TIMEOUT";
    default:
      return std::to_string(attr);
  }
}

std::string ReturnName(sword rc) {
  switch (rc) {
    case oci::OCI_SUCCESS:
      return "OCI_SUCCESS";
    case oci::OCI_SUCCESS_WITH_INFO:
      return "OCI_SUCCESS_WITH_INFO";
    case oci::OCI_NO_DATA:
      return "OCI_NO_DATA";
    case oci::OCI_ERROR:
      return "OCI_ERROR";
    case oci::OCI_INVALID_HANDLE:
      return "OCI_INVALID_HANDLE";
    default:
      return std::to_string(rc);
  }
}

sword ParseReturn(const std::string& word) {
  for (sword rc : {oci::OCI_SUCCESS, oci::OCI_SUCCESS_WITH_INFO, oci::OCI_NO_DATA, oci::OCI_ERROR,
                   oci::OCI_INVALID_HANDLE}) {
    if (word == ReturnName(rc)) return rc;
  }
  return static_cast<sword>(std::strtol(word.c_str(), nullptr, 10));
}

void LoadScript() {
  State& state = GetState();
  state.rules.clear();
  state.calls.clear();
  state.labels.clear();
  const char* path = std::getenv("FAKE_OCI_SCRIPT");
  if (path == nullptr || *path == '\0') return;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Rule rule;
    std::string occurrence;
    std::string rc;
    if (!(fields >> rule.call >> occurrence >> rc)) continue;
    rule.occurrence =
        occurrence == "*" ? 0 : static_cast<int>(std::strtol(occurrence.c_str(), nullptr, 10));
    rule.rc = ParseReturn(rc);
    fields >> rule.ora;
    std::getline(fields >> std::ws, rule.message);
    state.rules.push_back(rule);
  }
}

void SetRecord(Handle* handle, sb4 ora, std::string message) {
  if (handle == nullptr) return;
  handle->error_code = ora;
  handle->error_message = std::move(message);
}

// Counts this call of `call` and returns its scripted answer, putting the
// scripted error record on `record_on`.
sword Scripted(const std::string& call, Handle* record_on) {
  State& state = GetState();
  const int n = ++state.calls[call];
  for (const Rule& rule : state.rules) {
    if (rule.call != call || (rule.occurrence != 0 && rule.occurrence != n)) continue;
    if (rule.ora != 0) {
      char text[32];
      std::snprintf(text, sizeof text, "ORA-%05d: scripted", static_cast<int>(rule.ora));
      SetRecord(record_on, rule.ora, rule.message.empty() ? text : rule.message);
    } else if (rule.rc != oci::OCI_SUCCESS) {
      SetRecord(record_on, 0, "");
    }
    return rule.rc;
  }
  return oci::OCI_SUCCESS;
}

// A failure the fake itself detects, as a real client would.
sword Refuse(const std::string& line, Handle* error, sb4 ora, const char* message) {
  SetRecord(error, ora, message);
  Log(line + " -> refused: " + message);
  return oci::OCI_ERROR;
}

Handle* Find(const void* pointer, ub4 type) {
  for (const std::unique_ptr<Handle>& handle : GetState().handles) {
    if (handle.get() == pointer)
      return handle->live && handle->type == type ? handle.get() : nullptr;
  }
  return nullptr;
}

std::string Label(const void* pointer) {
  for (const std::unique_ptr<Handle>& handle : GetState().handles) {
    if (handle.get() == pointer) return handle->live ? handle->label : handle->label + "(freed)";
  }
  return pointer == nullptr ? "null" : "unknown";
}

Handle* NewHandle(ub4 type, Handle* env) {
  State& state = GetState();
  auto handle = std::make_unique<Handle>();
  handle->type = type;
  handle->env = env;
  handle->label = TypeName(type) + std::to_string(++state.labels[TypeName(type)]);
  state.handles.push_back(std::move(handle));
  return state.handles.back().get();
}

sword InvalidHandle(const std::string& line) {
  Log(line + " -> refused: OCI_INVALID_HANDLE");
  return oci::OCI_INVALID_HANDLE;
}

// Logs `line` with the scripted answer when that is not success.
sword Answer(const std::string& line, sword rc) {
  Log(rc == oci::OCI_SUCCESS ? line : line + " -> " + ReturnName(rc));
  return rc;
}

bool Succeeded(sword rc) { return rc == oci::OCI_SUCCESS || rc == oci::OCI_SUCCESS_WITH_INFO; }

std::string Quoted(const void* text, std::size_t size) {
  return "\"" + std::string(static_cast<const char*>(text), size) + "\"";
}

// OCI_ATTR_STMT_TYPE by the first word, as the client finds it.
ub2 StatementType(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  std::string word;
  while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) {
    word.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(text[i++]))));
  }
  static const std::map<std::string, ub2> kTypes = {
      {"SELECT", 1}, {"WITH", 1},  {"UPDATE", 2}, {"DELETE", 3},  {"INSERT", 4}, {"CREATE", 5},
      {"DROP", 6},   {"ALTER", 7}, {"BEGIN", 8},  {"DECLARE", 9}, {"MERGE", 16}};
  const auto it = kTypes.find(word);
  return it == kTypes.end() ? 0 : it->second;
}

}  // namespace

extern "C" {

sword OCIEnvCreate(OCIEnv** envhpp, ub4 mode, void* /*ctxp*/,
                   void* (* /*malocfp*/)(void*, std::size_t),
                   void* (* /*ralocfp*/)(void*, void*, std::size_t),
                   void (* /*mfreefp*/)(void*, void*), std::size_t /*xtramemsz*/,
                   void** /*usrmempp*/) {
  LoadScript();
  Handle* env = NewHandle(oci::OCI_HTYPE_ENV, nullptr);
  env->env = env;
  const sword rc = Scripted("OCIEnvCreate", env);
  // As the client does, a failed create may still hand out the environment.
  *envhpp = rc == oci::OCI_INVALID_HANDLE ? nullptr : reinterpret_cast<OCIEnv*>(env);
  if (rc == oci::OCI_INVALID_HANDLE) env->live = false;
  return Answer("OCIEnvCreate(mode=" + std::to_string(mode) + ") = " + env->label, rc);
}

sword OCIHandleAlloc(const void* parenth, void** hndlpp, ub4 type, std::size_t /*xtramem_sz*/,
                     void** /*usrmempp*/) {
  std::string line = "OCIHandleAlloc(" + Label(parenth) + ", " + TypeName(type) + ")";
  Handle* env = Find(parenth, oci::OCI_HTYPE_ENV);
  if (env == nullptr || type == oci::OCI_HTYPE_ENV || std::string(TypeName(type)) == "unknown") {
    return InvalidHandle(line);
  }
  const sword rc = Scripted("OCIHandleAlloc", env);
  if (!Succeeded(rc)) return Answer(line, rc);
  Handle* handle = NewHandle(type, env);
  *hndlpp = handle;
  return Answer(line + " = " + handle->label, rc);
}

sword OCIHandleFree(void* hndlp, ub4 type) {
  std::string line = "OCIHandleFree(" + Label(hndlp) + ")";
  Handle* handle = Find(hndlp, type);
  if (handle == nullptr || type == oci::OCI_HTYPE_STMT) return InvalidHandle(line);
  const sword rc = Scripted("OCIHandleFree", nullptr);
  if (!Succeeded(rc)) return Answer(line, rc);
  handle->live = false;
  if (type == oci::OCI_HTYPE_ENV) {
    std::string still_live;
    for (const std::unique_ptr<Handle>& other : GetState().handles) {
      if (other->live && other->env == handle) {
        other->live = false;
        still_live += " " + other->label;
      }
    }
    if (!still_live.empty()) line += " with live handles:" + still_live;
  }
  return Answer(line, rc);
}

sword OCIErrorGet(void* hndlp, ub4 recordno, OraText* /*sqlstate*/, sb4* errcodep, OraText* bufp,
                  ub4 bufsiz, ub4 type) {
  const Handle* handle = Find(hndlp, type);
  if (handle == nullptr || (type != oci::OCI_HTYPE_ERROR && type != oci::OCI_HTYPE_ENV)) {
    return InvalidHandle("OCIErrorGet(" + Label(hndlp) + ")");
  }
  if (recordno != 1 || handle->error_code == 0) return oci::OCI_NO_DATA;
  *errcodep = handle->error_code;
  if (bufp != nullptr && bufsiz > 0) {
    const std::size_t n = std::min<std::size_t>(handle->error_message.size(), bufsiz - 1);
    std::memcpy(bufp, handle->error_message.data(), n);
    bufp[n] = '\0';
  }
  return oci::OCI_SUCCESS;
}

sword OCIAttrSet(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size, ub4 attrtype,
                 OCIError* errhp) {
  std::string line = "OCIAttrSet(" + Label(trgthndlp) + ", " + AttrName(attrtype) + ", ";
  Handle* target = Find(trgthndlp, trghndltyp);
  Handle* error = Find(errhp, oci::OCI_HTYPE_ERROR);
  Handle* value_handle = nullptr;
  switch (attrtype) {
    case oci::OCI_ATTR_SERVER:
    case oci::OCI_ATTR_SESSION:
      line += Label(attributep) + ")";
      value_handle = Find(attributep, attrtype == oci::OCI_ATTR_SERVER ? oci::OCI_HTYPE_SERVER
                                                                       : oci::OCI_HTYPE_SESSION);
      if (value_handle == nullptr || trghndltyp != oci::OCI_HTYPE_SVCCTX) target = nullptr;
      break;
    case oci::OCI_ATTR_USERNAME:
    case oci::OCI_ATTR_PASSWORD:
      line += Quoted(attributep, size) + ")";
      if (trghndltyp != oci::OCI_HTYPE_SESSION) target = nullptr;
      break;
    case oci::OCI_ATTR_CALL_TIMEOUT:
      line += std::to_string(*static_cast<const ub4*>(attributep)) + ")";
      if (trghndltyp != oci::OCI_HTYPE_SVCCTX || size != sizeof(ub4)) target = nullptr;
      break;
    default:
      line += "?)";
      target = nullptr;
  }
  if (target == nullptr || error == nullptr) return InvalidHandle(line);
  const sword rc = Scripted("OCIAttrSet." + AttrName(attrtype), error);
  if (!Succeeded(rc)) return Answer(line, rc);
  if (attrtype == oci::OCI_ATTR_SERVER) target->server = value_handle;
  if (attrtype == oci::OCI_ATTR_SESSION) target->session = value_handle;
  if (attrtype == oci::OCI_ATTR_USERNAME) target->has_user = true;
  if (attrtype == oci::OCI_ATTR_PASSWORD) target->has_password = true;
  return Answer(line, rc);
}

sword OCIAttrGet(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* /*sizep*/,
                 ub4 attrtype, OCIError* errhp) {
  std::string line = "OCIAttrGet(" + Label(trgthndlp) + ", " + AttrName(attrtype) + ")";
  const Handle* target = Find(trgthndlp, trghndltyp);
  Handle* error = Find(errhp, oci::OCI_HTYPE_ERROR);
  if (target == nullptr || error == nullptr || trghndltyp != oci::OCI_HTYPE_STMT ||
      attrtype != oci::OCI_ATTR_STMT_TYPE) {
    return InvalidHandle(line);
  }
  const sword rc = Scripted("OCIAttrGet." + AttrName(attrtype), error);
  if (!Succeeded(rc)) return Answer(line, rc);
  const ub2 type = StatementType(target->text);
  *static_cast<ub2*>(attributep) = type;
  return Answer(line + " = " + std::to_string(type), rc);
}

sword OCIServerAttach(OCIServer* srvhp, OCIError* errhp, const OraText* dblink, sb4 dblink_len,
                      ub4 mode) {
  const std::string line = "OCIServerAttach(" + Label(srvhp) + ", " +
                           Quoted(dblink, static_cast<std::size_t>(dblink_len)) +
                           ", mode=" + std::to_string(mode) + ")";
  Handle* server = Find(srvhp, oci::OCI_HTYPE_SERVER);
  Handle* error = Find(errhp, oci::OCI_HTYPE_ERROR);
  if (server == nullptr || error == nullptr || server->attached) return InvalidHandle(line);
  const sword rc = Scripted("OCIServerAttach", error);
  if (Succeeded(rc)) server->attached = true;
  return Answer(line, rc);
}

sword OCIServerDetach(OCIServer* srvhp, OCIError* errhp, ub4 /*mode*/) {
  const std::string line = "OCIServerDetach(" + Label(srvhp) + ")";
  Handle* server = Find(srvhp, oci::OCI_HTYPE_SERVER);
  Handle* error = Find(errhp, oci::OCI_HTYPE_ERROR);
  if (server == nullptr || error == nullptr) return InvalidHandle(line);
  if (!server->attached) return Refuse(line, error, 24327, "ORA-24327: not attached");
  const sword rc = Scripted("OCIServerDetach", error);
  if (Succeeded(rc)) server->attached = false;
  return Answer(line, rc);
}

sword OCISessionBegin(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 credt, ub4 mode) {
  const std::string line = "OCISessionBegin(" + Label(svchp) + ", " + Label(usrhp) + ", " +
                           (credt == oci::OCI_CRED_RDBMS ? "RDBMS"
                            : credt == oci::OCI_CRED_EXT ? "EXT"
                                                         : "?") +
                           ", mode=" + std::to_string(mode) + ")";
  Handle* service = Find(svchp, oci::OCI_HTYPE_SVCCTX);
  Handle* error = Find(errhp, oci::OCI_HTYPE_ERROR);
  Handle* session = Find(usrhp, oci::OCI_HTYPE_SESSION);
  if (service == nullptr || error == nullptr || session == nullptr) return InvalidHandle(line);
  if (service->server == nullptr || !service->server->live || !service->server->attached) {
    return Refuse(line, error, 24327, "ORA-24327: no attached server");
  }
  if (credt == oci::OCI_CRED_RDBMS && (!session->has_user || !session->has_password)) {
    return Refuse(line, error, 1005, "ORA-01005: no user name or password");
  }
  const sword rc = Scripted("OCISessionBegin", error);
  if (Succeeded(rc)) session->begun = true;
  return Answer(line, rc);
}

sword OCISessionEnd(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 /*mode*/) {
  const std::string line = "OCISessionEnd(" + Label(svchp) + ", " + Label(usrhp) + ")";
  Handle* service = Find(svchp, oci::OCI_HTYPE_SVCCTX);
  Handle* error = Find(errhp, oci::OCI_HTYPE_ERROR);
  Handle* session = Find(usrhp, oci::OCI_HTYPE_SESSION);
  if (service == nullptr || error == nullptr || session == nullptr) return InvalidHandle(line);
  if (!session->begun) return Refuse(line, error, 3114, "ORA-03114: session not begun");
  const sword rc = Scripted("OCISessionEnd", error);
  if (Succeeded(rc)) session->begun = false;
  return Answer(line, rc);
}

sword OCIStmtPrepare2(OCISvcCtx* svchp, OCIStmt** stmthp, OCIError* errhp, const OraText* stmttext,
                      ub4 stmt_len, const OraText* key, ub4 /*keylen*/, ub4 language, ub4 mode) {
  const std::string text(reinterpret_cast<const char*>(stmttext), stmt_len);
  const std::string line = "OCIStmtPrepare2(" + Label(svchp) + ", \"" + text +
                           "\", syntax=" + std::to_string(language) +
                           ", mode=" + std::to_string(mode) + ")";
  Handle* service = Find(svchp, oci::OCI_HTYPE_SVCCTX);
  Handle* error = Find(errhp, oci::OCI_HTYPE_ERROR);
  if (service == nullptr || error == nullptr || key != nullptr) return InvalidHandle(line);
  if (service->session == nullptr || !service->session->begun) {
    return Refuse(line, error, 3114, "ORA-03114: no session");
  }
  const sword rc = Scripted("OCIStmtPrepare2", error);
  if (!Succeeded(rc)) return Answer(line, rc);
  Handle* stmt = NewHandle(oci::OCI_HTYPE_STMT, service->env);
  stmt->text = text;
  *stmthp = reinterpret_cast<OCIStmt*>(stmt);
  return Answer(line + " = " + stmt->label, rc);
}

sword OCIStmtRelease(OCIStmt* stmthp, OCIError* errhp, const OraText* /*key*/, ub4 /*keylen*/,
                     ub4 /*mode*/) {
  const std::string line = "OCIStmtRelease(" + Label(stmthp) + ")";
  Handle* stmt = Find(stmthp, oci::OCI_HTYPE_STMT);
  Handle* error = Find(errhp, oci::OCI_HTYPE_ERROR);
  if (stmt == nullptr || error == nullptr) return InvalidHandle(line);
  const sword rc = Scripted("OCIStmtRelease", error);
  if (Succeeded(rc)) stmt->live = false;
  return Answer(line, rc);
}

sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters, ub4 rowoff,
                     const OCISnapshot* /*snap_in*/, OCISnapshot* /*snap_out*/, ub4 mode) {
  const std::string line =
      "OCIStmtExecute(" + Label(svchp) + ", " + Label(stmtp) + ", iters=" + std::to_string(iters) +
      ", rowoff=" + std::to_string(rowoff) + ", mode=" + std::to_string(mode) + ")";
  Handle* service = Find(svchp, oci::OCI_HTYPE_SVCCTX);
  Handle* stmt = Find(stmtp, oci::OCI_HTYPE_STMT);
  Handle* error = Find(errhp, oci::OCI_HTYPE_ERROR);
  if (service == nullptr || stmt == nullptr || error == nullptr) return InvalidHandle(line);
  if (service->session == nullptr || !service->session->begun) {
    return Refuse(line, error, 3114, "ORA-03114: no session");
  }
  const bool query = StatementType(stmt->text) == oci::OCI_STMT_SELECT;
  if (query && iters != 0) return Refuse(line, error, 24374, "ORA-24374: define not done");
  if (!query && iters == 0) return Refuse(line, error, 24333, "ORA-24333: zero iteration count");
  return Answer(line, Scripted("OCIStmtExecute", error));
}

sword OCITransCommit(OCISvcCtx* svchp, OCIError* errhp, ub4 flags) {
  const std::string line =
      "OCITransCommit(" + Label(svchp) + ", flags=" + std::to_string(flags) + ")";
  Handle* service = Find(svchp, oci::OCI_HTYPE_SVCCTX);
  Handle* error = Find(errhp, oci::OCI_HTYPE_ERROR);
  if (service == nullptr || error == nullptr) return InvalidHandle(line);
  return Answer(line, Scripted("OCITransCommit", error));
}

sword OCITransRollback(OCISvcCtx* svchp, OCIError* errhp, ub4 flags) {
  const std::string line =
      "OCITransRollback(" + Label(svchp) + ", flags=" + std::to_string(flags) + ")";
  Handle* service = Find(svchp, oci::OCI_HTYPE_SVCCTX);
  Handle* error = Find(errhp, oci::OCI_HTYPE_ERROR);
  if (service == nullptr || error == nullptr) return InvalidHandle(line);
  return Answer(line, Scripted("OCITransRollback", error));
}

}  // extern "C"

// The exports have exactly the types the backend resolves them as.
static_assert(std::is_same_v<decltype(OCIEnvCreate), oci::OCIEnvCreateFn>);
static_assert(std::is_same_v<decltype(OCIHandleAlloc), oci::OCIHandleAllocFn>);
static_assert(std::is_same_v<decltype(OCIHandleFree), oci::OCIHandleFreeFn>);
static_assert(std::is_same_v<decltype(OCIErrorGet), oci::OCIErrorGetFn>);
static_assert(std::is_same_v<decltype(OCIAttrSet), oci::OCIAttrSetFn>);
static_assert(std::is_same_v<decltype(OCIAttrGet), oci::OCIAttrGetFn>);
static_assert(std::is_same_v<decltype(OCIServerAttach), oci::OCIServerAttachFn>);
static_assert(std::is_same_v<decltype(OCIServerDetach), oci::OCIServerDetachFn>);
static_assert(std::is_same_v<decltype(OCISessionBegin), oci::OCISessionBeginFn>);
static_assert(std::is_same_v<decltype(OCISessionEnd), oci::OCISessionEndFn>);
static_assert(std::is_same_v<decltype(OCIStmtPrepare2), oci::OCIStmtPrepare2Fn>);
static_assert(std::is_same_v<decltype(OCIStmtRelease), oci::OCIStmtReleaseFn>);
static_assert(std::is_same_v<decltype(OCIStmtExecute), oci::OCIStmtExecuteFn>);
static_assert(std::is_same_v<decltype(OCITransCommit), oci::OCITransCommitFn>);
static_assert(std::is_same_v<decltype(OCITransRollback), oci::OCITransRollbackFn>);
