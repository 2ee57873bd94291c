// The Oracle backend: the Oracle Call Interface of an installed Oracle client,
// loaded only when a run connects to a net service name, with the negated ORA
// numbers as statuses.
#include "db/oracle_backend.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/backend.h"
#include "db/client_library.h"
#include "db/dynamic_library.h"
#include "db/oci_api.h"

namespace dbrunner {
namespace {

using oci::OCI_ATTR_CALL_TIMEOUT;
using oci::OCI_ATTR_PASSWORD;
using oci::OCI_ATTR_SERVER;
using oci::OCI_ATTR_SESSION;
using oci::OCI_ATTR_STMT_TYPE;
using oci::OCI_ATTR_USERNAME;
using oci::OCI_CRED_EXT;
using oci::OCI_CRED_RDBMS;
using oci::OCI_DEFAULT;
using oci::OCI_ERROR;
using oci::OCI_HTYPE_ENV;
using oci::OCI_HTYPE_ERROR;
using oci::OCI_HTYPE_SERVER;
using oci::OCI_HTYPE_SESSION;
using oci::OCI_HTYPE_STMT;
using oci::OCI_HTYPE_SVCCTX;
using oci::OCI_INVALID_HANDLE;
using oci::OCI_NO_DATA;
using oci::OCI_NTV_SYNTAX;
using oci::OCI_STMT_SELECT;
using oci::OCI_SUCCESS;
using oci::OCI_SUCCESS_WITH_INFO;
using oci::OCIEnv;
using oci::OCIError;
using oci::OCIServer;
using oci::OCISession;
using oci::OCIStmt;
using oci::OCISvcCtx;
using oci::OraText;
using oci::sb4;
using oci::sword;
using oci::ub2;
using oci::ub4;

// Statuses: as the legacy client reported them, the negated number of the
// ORA error in the client's first error record; and three of this backend's
// own:
//
//   status  meaning
//   ------  ---------------------------------------------------------------
//      -N   ORA-N, for example:
//    -942     ORA-00942 table or view does not exist (at the statement)
//    -911     ORA-00911 invalid character: a statement ending in ";" (the
//             text is handed over whole, as before, and Oracle refuses it)
//   -1017     ORA-01017 invalid user name or password (at connect)
//   -1435     ORA-01435 user does not exist: the schema switch failed
//  -12154     ORA-12154 net service name not resolved (at connect)
//  -12170     ORA-12170 connect timeout, where one is configured (see below)
//   -3136     ORA-03136 a call ran past the call timeout (see below)
//   -3113     ORA-03113 / ORA-03135 connection lost
//   -3114   an operation without an open session (ORA-03114, not connected);
//           this backend's own as well as the client's
//   -9998   the client failed without an error record: OCI_INVALID_HANDLE,
//           OCI_ERROR with no record, an unexpected return code, or a text
//           too long for the client's length arguments
//   -9999   the client library cannot be loaded or lacks an entry point
//           (kStatusClientUnavailable); LastError names what was missing
//
// OCI_SUCCESS_WITH_INFO (a warning such as ORA-28002, password expires soon)
// is success, and so is OCI_NO_DATA from an execute (an UPDATE or DELETE that
// matched no rows).
constexpr std::int32_t kStatusNotConnected = -3114;
constexpr std::int32_t kStatusClientFailure = -9998;

// How long a dead host can hold a run. OCIServerAttach is not bounded by the
// client's call timeout: the connect itself is bounded only by the client's
// network configuration (sqlnet.ora SQLNET.OUTBOUND_CONNECT_TIMEOUT or
// TCP.CONNECT_TIMEOUT, CONNECT_TIMEOUT in a tnsnames description, or
// "?connect_timeout=" in an easy-connect text). The net service name is never
// rewritten to add one: an alias takes no suffix, and an easy-connect text may
// already carry parameters. Every later round trip is bounded by
// OCI_ATTR_CALL_TIMEOUT (clients from 18.1 on; older clients refuse it, and
// the run goes on unbounded as before); after a timeout the client may spend
// up to the same time again cleaning up the connection.
constexpr ub4 kSessionCallTimeoutMs = 60 * 1000;
// The run's statement may wait for row locks held by other sessions or work
// through many rows, so it gets longer; a statement cut off fails with
// ORA-03136 and is rolled back.
constexpr ub4 kStatementCallTimeoutMs = 15 * 60 * 1000;

// OCIErrorGet's message buffer: the longest message the client writes.
constexpr std::size_t kErrorMessageSize = 3072;

std::vector<std::string> OracleClientNames() {
#ifdef _WIN32
  // Instant Client and full clients alike put oci.dll on PATH.
  return {"oci.dll"};
#else
  // The plain name is a link that not every installation has (some carry only
  // their release's versioned name), so the versioned names of the releases
  // that have one follow, newest first, back to 11.1, the legacy tool's
  // generation. The first that loads is used.
  return {"libclntsh.so",      "libclntsh.so.23.1", "libclntsh.so.21.1", "libclntsh.so.19.1",
          "libclntsh.so.18.1", "libclntsh.so.12.1", "libclntsh.so.11.1"};
#endif
}

// The entry points this backend calls.
struct OciApi {
  oci::OCIEnvCreateFn* EnvCreate = nullptr;
  oci::OCIHandleAllocFn* HandleAlloc = nullptr;
  oci::OCIHandleFreeFn* HandleFree = nullptr;
  oci::OCIErrorGetFn* ErrorGet = nullptr;
  oci::OCIAttrSetFn* AttrSet = nullptr;
  oci::OCIAttrGetFn* AttrGet = nullptr;
  oci::OCIServerAttachFn* ServerAttach = nullptr;
  oci::OCIServerDetachFn* ServerDetach = nullptr;
  oci::OCISessionBeginFn* SessionBegin = nullptr;
  oci::OCISessionEndFn* SessionEnd = nullptr;
  oci::OCIStmtPrepare2Fn* StmtPrepare2 = nullptr;
  oci::OCIStmtReleaseFn* StmtRelease = nullptr;
  oci::OCIStmtExecuteFn* StmtExecute = nullptr;
  oci::OCITransCommitFn* TransCommit = nullptr;
  oci::OCITransRollbackFn* TransRollback = nullptr;

  // Resolves every entry point; the missing ones pile up in `entry`.
  void Resolve(EntryPoints& entry) {
    entry.Resolve("OCIEnvCreate", &EnvCreate);
    entry.Resolve("OCIHandleAlloc", &HandleAlloc);
    entry.Resolve("OCIHandleFree", &HandleFree);
    entry.Resolve("OCIErrorGet", &ErrorGet);
    entry.Resolve("OCIAttrSet", &AttrSet);
    entry.Resolve("OCIAttrGet", &AttrGet);
    entry.Resolve("OCIServerAttach", &ServerAttach);
    entry.Resolve("OCIServerDetach", &ServerDetach);
    entry.Resolve("OCISessionBegin", &SessionBegin);
    entry.Resolve("OCISessionEnd", &SessionEnd);
    entry.Resolve("OCIStmtPrepare2", &StmtPrepare2);
    entry.Resolve("OCIStmtRelease", &StmtRelease);
    entry.Resolve("OCIStmtExecute", &StmtExecute);
    entry.Resolve("OCITransCommit", &TransCommit);
    entry.Resolve("OCITransRollback", &TransRollback);
  }
};

bool Succeeded(sword rc) { return rc == OCI_SUCCESS || rc == OCI_SUCCESS_WITH_INFO; }

// A handle from OCIEnvCreate or OCIHandleAlloc, freed with OCIHandleFree.
template <typename T, ub4 kType>
class OciHandle {
 public:
  OciHandle() = default;
  ~OciHandle() { reset(); }
  OciHandle(const OciHandle&) = delete;
  OciHandle& operator=(const OciHandle&) = delete;

  // Frees the handle held, then adopts `handle`, to be freed through `api`.
  void reset(const OciApi* api = nullptr, T* handle = nullptr) {
    if (handle_ != nullptr) static_cast<void>(api_->HandleFree(handle_, kType));
    api_ = api;
    handle_ = handle;
  }
  T* get() const { return handle_; }

 private:
  const OciApi* api_ = nullptr;
  T* handle_ = nullptr;
};

// A statement from OCIStmtPrepare2, given back with OCIStmtRelease.
class PreparedStatement {
 public:
  PreparedStatement(const OciApi& api, OCIError* error) : api_(api), error_(error) {}
  ~PreparedStatement() {
    if (stmt_ != nullptr)
      static_cast<void>(api_.StmtRelease(stmt_, error_, nullptr, 0, OCI_DEFAULT));
  }
  PreparedStatement(const PreparedStatement&) = delete;
  PreparedStatement& operator=(const PreparedStatement&) = delete;

  OCIStmt** out() { return &stmt_; }
  OCIStmt* get() const { return stmt_; }

 private:
  const OciApi& api_;
  OCIError* error_;
  OCIStmt* stmt_ = nullptr;
};

// Texts go to the client with their length; it never reads a terminator.
const OraText* TextOf(std::string_view text) {
  return reinterpret_cast<const OraText*>(text.empty() ? "" : text.data());
}

bool FitsLength(std::string_view text) {
  return text.size() <= static_cast<std::size_t>(std::numeric_limits<sb4>::max());
}

class OracleBackend final : public Backend {
 public:
  // `library` empty: the installed client's names.
  explicit OracleBackend(std::string library) : library_name_(std::move(library)) {}
  ~OracleBackend() override { Disconnect(); }

  // `target` is the net service name: a tnsnames alias or an easy-connect
  // text, handed to OCIServerAttach as it is. User and password go to the
  // session as attributes, so "/" and "@" in them are plain characters. Both
  // empty selects external authentication, as the connect text "/@name" did
  // for the legacy tool (operating-system user or wallet).
  std::int32_t Connect(std::string_view user, std::string_view password,
                       std::string_view target) override {
    Disconnect();
    if (!library_) {
      const std::int32_t status = LoadClient();
      if (status != 0) return status;
    }
    const std::int32_t status = Open(user, password, target);
    // A half-opened session is released at once; LastError keeps the cause.
    if (status != 0) Disconnect();
    return status;
  }

  // The schema name is joined as the legacy tool joined it: it is the
  // program's own constant, never a value from outside.
  std::int32_t SetSchema(std::string_view schema) override {
    if (!session_begun_) return Fail(kStatusNotConnected, "not connected");
    return Run("ALTER SESSION SET CURRENT_SCHEMA=" + std::string(schema));
  }

  // The text goes to the server whole, with its length: leading blank,
  // trailing ";" and all. Oracle itself refuses what is not one statement.
  std::int32_t Execute(std::string_view statement) override {
    if (!session_begun_) return Fail(kStatusNotConnected, "not connected");
    // Work may now be open until Commit, or until the rollback before the end.
    transaction_open_ = true;
    SetCallTimeout(kStatementCallTimeoutMs);
    const std::int32_t status = Run(statement);
    SetCallTimeout(kSessionCallTimeoutMs);
    // The first failure decides the transaction: Commit will roll it back.
    if (status != 0 && failed_status_ == 0) failed_status_ = status;
    return status;
  }

  // Commits; after a failed Execute it rolls back instead and returns that
  // Execute's status. A failed commit is rolled back too.
  std::int32_t Commit() override {
    if (!session_begun_) return Fail(kStatusNotConnected, "not connected");
    if (failed_status_ != 0) {
      const std::int32_t status = failed_status_;
      failed_status_ = 0;
      Rollback();
      return status;  // LastError still holds the Execute's message
    }
    const std::int32_t status = Check(api_.TransCommit(service_.get(), error_.get(), OCI_DEFAULT),
                                      error_.get(), OCI_HTYPE_ERROR);
    if (status != 0) {
      Rollback();
      return status;
    }
    transaction_open_ = false;
    return 0;
  }

  std::string LastError() const override { return last_error_; }

 private:
  std::int32_t LoadClient() {
    std::string error;
    // OpenClientLibrary keeps the client mapped until the process ends: it
    // sets up work of its own (exit handlers, data per thread) that may outlive
    // its last handle, and unmapping it could crash the process at exit.
    std::unique_ptr<DynamicLibrary> library = OpenClientLibrary(
        library_name_.empty() ? OracleClientNames() : std::vector<std::string>{library_name_},
        &error);
    if (!library) return Fail(kStatusClientUnavailable, error);
    EntryPoints entry(*library);
    api_.Resolve(entry);
    if (!entry.missing().empty()) {
      return Fail(kStatusClientUnavailable, library->name() + " lacks " + entry.missing());
    }
    library_ = std::move(library);
    return 0;
  }

  // The connect proper. Server handle and session are set up one by one
  // (rather than with OCILogon2) so that the call timeout is on the service
  // context before the logon's round trips, and so that the session can be
  // rolled back and ended apart from the detach.
  std::int32_t Open(std::string_view user, std::string_view password, std::string_view target) {
    if (!FitsLength(user) || !FitsLength(password) || !FitsLength(target)) {
      return Fail(kStatusClientFailure, "connection value too long for the client");
    }
    OCIEnv* env = nullptr;
    const sword env_rc =
        api_.EnvCreate(&env, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
    // A failed create may still return an environment, which holds the error.
    env_.reset(&api_, env);
    if (!Succeeded(env_rc)) return Check(env_rc, env, OCI_HTYPE_ENV);

    std::int32_t status = Allocate(error_);
    if (status == 0) status = Allocate(server_);
    if (status == 0) status = Allocate(service_);
    if (status == 0) status = Allocate(session_);
    if (status != 0) return status;

    status = CheckError(api_.ServerAttach(server_.get(), error_.get(), TextOf(target),
                                          static_cast<sb4>(target.size()), OCI_DEFAULT));
    if (status != 0) return status;
    attached_ = true;
    status = CheckError(api_.AttrSet(service_.get(), OCI_HTYPE_SVCCTX, server_.get(), 0,
                                     OCI_ATTR_SERVER, error_.get()));
    if (status != 0) return status;
    SetCallTimeout(kSessionCallTimeoutMs);

    const bool external = user.empty() && password.empty();
    if (!external) {
      status = SetText(session_.get(), OCI_HTYPE_SESSION, user, OCI_ATTR_USERNAME);
      if (status == 0)
        status = SetText(session_.get(), OCI_HTYPE_SESSION, password, OCI_ATTR_PASSWORD);
      if (status != 0) return status;
    }
    status = CheckError(api_.SessionBegin(service_.get(), error_.get(), session_.get(),
                                          external ? OCI_CRED_EXT : OCI_CRED_RDBMS, OCI_DEFAULT));
    if (status != 0) return status;
    session_begun_ = true;
    return CheckError(api_.AttrSet(service_.get(), OCI_HTYPE_SVCCTX, session_.get(), 0,
                                   OCI_ATTR_SESSION, error_.get()));
  }

  template <typename T, ub4 kType>
  std::int32_t Allocate(OciHandle<T, kType>& handle) {
    void* raw = nullptr;
    const sword rc = api_.HandleAlloc(env_.get(), &raw, kType, 0, nullptr);
    if (!Succeeded(rc)) return Check(rc, env_.get(), OCI_HTYPE_ENV);
    handle.reset(&api_, static_cast<T*>(raw));
    return 0;
  }

  std::int32_t SetText(void* handle, ub4 handle_type, std::string_view text, ub4 attribute) {
    // The client copies the text and does not write to it.
    void* value = const_cast<OraText*>(TextOf(text));
    return CheckError(api_.AttrSet(handle, handle_type, value, static_cast<ub4>(text.size()),
                                   attribute, error_.get()));
  }

  // Sets the call timeout where the client knows it. A client before 18.1
  // refuses the attribute; from then on the session is simply not bounded.
  void SetCallTimeout(ub4 milliseconds) {
    if (!call_timeout_supported_) return;
    ub4 value = milliseconds;
    const sword rc = api_.AttrSet(service_.get(), OCI_HTYPE_SVCCTX, &value, sizeof value,
                                  OCI_ATTR_CALL_TIMEOUT, error_.get());
    if (!Succeeded(rc)) call_timeout_supported_ = false;
  }

  // Prepares and executes one text on the session; its status.
  std::int32_t Run(std::string_view text) {
    if (!FitsLength(text)) return Fail(kStatusClientFailure, "statement too long for the client");
    PreparedStatement stmt(api_, error_.get());
    std::int32_t status = CheckError(api_.StmtPrepare2(service_.get(), stmt.out(), error_.get(),
                                                       TextOf(text), static_cast<ub4>(text.size()),
                                                       nullptr, 0, OCI_NTV_SYNTAX, OCI_DEFAULT));
    if (status != 0) return status;
    ub2 type = 0;
    status = CheckError(
        api_.AttrGet(stmt.get(), OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, error_.get()));
    if (status != 0) return status;
    // A query runs with no rows fetched (nothing is defined to take them); any
    // other statement runs once. OCI_DEFAULT: never OCI_COMMIT_ON_SUCCESS.
    const ub4 iters = type == OCI_STMT_SELECT ? 0 : 1;
    const sword rc = api_.StmtExecute(service_.get(), stmt.get(), error_.get(), iters, 0, nullptr,
                                      nullptr, OCI_DEFAULT);
    // An UPDATE or DELETE that matched no rows did what it was asked.
    return CheckError(rc == OCI_NO_DATA ? OCI_SUCCESS : rc);
  }

  // Rolls back; errors are not reported, but a failed rollback leaves the
  // work marked open so that the session is not ended cleanly over it.
  void Rollback() {
    if (Succeeded(api_.TransRollback(service_.get(), error_.get(), OCI_DEFAULT))) {
      transaction_open_ = false;
    }
  }

  void Disconnect() {
    if (session_begun_) {
      // A clean end of the session may commit work left open: roll it back
      // first. Should that fail, the session is not ended at all; the detach
      // drops it, and the server rolls back what a dropped session held.
      if (transaction_open_) Rollback();
      if (!transaction_open_) {
        static_cast<void>(
            api_.SessionEnd(service_.get(), error_.get(), session_.get(), OCI_DEFAULT));
      }
    }
    if (attached_) static_cast<void>(api_.ServerDetach(server_.get(), error_.get(), OCI_DEFAULT));
    // Every handle before the environment they were allocated from.
    session_.reset();
    service_.reset();
    server_.reset();
    error_.reset();
    env_.reset();
    attached_ = false;
    session_begun_ = false;
    transaction_open_ = false;
    call_timeout_supported_ = true;
    failed_status_ = 0;
  }

  std::int32_t CheckError(sword rc) { return Check(rc, error_.get(), OCI_HTYPE_ERROR); }

  // The status of a call that returned `rc`, with the ORA number and message
  // of the first error record on `handle` (of type `handle_type`).
  std::int32_t Check(sword rc, void* handle, ub4 handle_type) {
    if (Succeeded(rc)) return 0;
    if (rc == OCI_INVALID_HANDLE) return Fail(kStatusClientFailure, "OCI_INVALID_HANDLE");
    if (rc == OCI_ERROR && handle != nullptr) {
      sb4 code = 0;
      OraText message[kErrorMessageSize] = {};
      if (api_.ErrorGet(handle, 1, nullptr, &code, message, sizeof message, handle_type) ==
              OCI_SUCCESS &&
          code > 0) {
        std::string text(reinterpret_cast<const char*>(message));
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
        return Fail(-code, std::move(text));
      }
    }
    return Fail(kStatusClientFailure,
                "the client returned " + std::to_string(rc) + " without an error record");
  }

  std::int32_t Fail(std::int32_t status, std::string message) {
    last_error_ = std::move(message);
    return status;
  }

  const std::string library_name_;
  // Declared before the handles: the entry points outlive every handle.
  std::unique_ptr<DynamicLibrary> library_;
  OciApi api_;
  OciHandle<OCIEnv, OCI_HTYPE_ENV> env_;
  OciHandle<OCIError, OCI_HTYPE_ERROR> error_;
  OciHandle<OCIServer, OCI_HTYPE_SERVER> server_;
  OciHandle<OCISvcCtx, OCI_HTYPE_SVCCTX> service_;
  OciHandle<OCISession, OCI_HTYPE_SESSION> session_;
  bool attached_ = false;
  bool session_begun_ = false;
  bool transaction_open_ = false;
  bool call_timeout_supported_ = true;
  std::int32_t failed_status_ = 0;  // first failed Execute since the last Commit
  std::string last_error_;
};

}  // namespace

std::unique_ptr<Backend> NewOracleBackend() { return std::make_unique<OracleBackend>(""); }

std::unique_ptr<Backend> NewOracleBackendLoading(std::string library) {
  return std::make_unique<OracleBackend>(std::move(library));
}

}  // namespace dbrunner
