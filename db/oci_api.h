// The few parts of the Oracle Call Interface (OCI) that the Oracle backend
// uses, declared from Oracle's public OCI documentation: the client library is
// loaded at run time, so no header or library of Oracle's is needed to build.
#ifndef DBRUNNER_DB_OCI_API_H_
#define DBRUNNER_DB_OCI_API_H_

#include <cstddef>
#include <cstdint>

// Names are spelled as in the OCI documentation (OCI_SUCCESS, OCIStmtExecute),
// so that each declaration can be checked against it line by line. The values
// are the client's published ones; they are part of its binary interface.
namespace dbrunner::oci {

// The documentation's fixed-width types.
using ub2 = std::uint16_t;
using ub4 = std::uint32_t;
using sb4 = std::int32_t;
using sword = int;
using OraText = unsigned char;

// Opaque handles; only the client knows what they hold.
struct OCIEnv;
struct OCIError;
struct OCIServer;
struct OCISvcCtx;
struct OCISession;
struct OCIStmt;
struct OCISnapshot;

// Return codes of every OCI function.
inline constexpr sword OCI_SUCCESS = 0;
inline constexpr sword OCI_SUCCESS_WITH_INFO = 1;
inline constexpr sword OCI_NO_DATA = 100;
inline constexpr sword OCI_ERROR = -1;
inline constexpr sword OCI_INVALID_HANDLE = -2;

// The mode of every call made here.
inline constexpr ub4 OCI_DEFAULT = 0;

// Handle types (OCIHandleAlloc, OCIHandleFree, OCIAttrSet, OCIErrorGet).
inline constexpr ub4 OCI_HTYPE_ENV = 1;
inline constexpr ub4 OCI_HTYPE_ERROR = 2;
inline constexpr ub4 OCI_HTYPE_SVCCTX = 3;
inline constexpr ub4 OCI_HTYPE_STMT = 4;
inline constexpr ub4 OCI_HTYPE_SERVER = 8;
inline constexpr ub4 OCI_HTYPE_SESSION = 9;

// Attributes (OCIAttrSet, OCIAttrGet).
inline constexpr ub4 OCI_ATTR_SERVER = 6;      // service context: its server handle
inline constexpr ub4 OCI_ATTR_SESSION = 7;     // service context: its session handle
inline constexpr ub4 OCI_ATTR_USERNAME = 22;   // session: user name text
inline constexpr ub4 OCI_ATTR_PASSWORD = 23;   // session: password text
inline constexpr ub4 OCI_ATTR_STMT_TYPE = 24;  // statement: ub2, one of OCI_STMT_*
// Service context: ub4 milliseconds any one round trip may take, 0 for no
// limit. Clients from release 18.1 on; older ones refuse the attribute.
inline constexpr ub4 OCI_ATTR_CALL_TIMEOUT = 531;

// Credentials of OCISessionBegin: user name and password, or external
// (operating-system authentication, or a wallet for "/@alias").
inline constexpr ub4 OCI_CRED_RDBMS = 1;
inline constexpr ub4 OCI_CRED_EXT = 2;

// Statement syntax of OCIStmtPrepare2: the server's own.
inline constexpr ub4 OCI_NTV_SYNTAX = 1;

// OCI_ATTR_STMT_TYPE of a query, the one statement type executed with iters 0.
inline constexpr ub2 OCI_STMT_SELECT = 1;

// Entry points as function types, for DynamicLibrary::Resolve. The client
// uses the platform's default calling convention. The allocator callbacks of
// OCIEnvCreate are always null here, so they are declared as plain pointers.
using OCIEnvCreateFn = sword(OCIEnv** envhpp, ub4 mode, void* ctxp,
                             void* (*malocfp)(void* ctxp, std::size_t size),
                             void* (*ralocfp)(void* ctxp, void* memptr, std::size_t newsize),
                             void (*mfreefp)(void* ctxp, void* memptr), std::size_t xtramemsz,
                             void** usrmempp);
using OCIHandleAllocFn = sword(const void* parenth, void** hndlpp, ub4 type, std::size_t xtramem_sz,
                               void** usrmempp);
using OCIHandleFreeFn = sword(void* hndlp, ub4 type);
using OCIErrorGetFn = sword(void* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep,
                            OraText* bufp, ub4 bufsiz, ub4 type);
using OCIAttrSetFn = sword(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size,
                           ub4 attrtype, OCIError* errhp);
using OCIAttrGetFn = sword(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep,
                           ub4 attrtype, OCIError* errhp);
using OCIServerAttachFn = sword(OCIServer* srvhp, OCIError* errhp, const OraText* dblink,
                                sb4 dblink_len, ub4 mode);
using OCIServerDetachFn = sword(OCIServer* srvhp, OCIError* errhp, ub4 mode);
using OCISessionBeginFn = sword(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 credt,
                                ub4 mode);
using OCISessionEndFn = sword(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 mode);
using OCIStmtPrepare2Fn = sword(OCISvcCtx* svchp, OCIStmt** stmthp, OCIError* errhp,
                                const OraText* stmttext, ub4 stmt_len, const OraText* key,
                                ub4 keylen, ub4 language, ub4 mode);
using OCIStmtReleaseFn = sword(OCIStmt* stmthp, OCIError* errhp, const OraText* key, ub4 keylen,
                               ub4 mode);
using OCIStmtExecuteFn = sword(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters,
                               ub4 rowoff, const OCISnapshot* snap_in, OCISnapshot* snap_out,
                               ub4 mode);
using OCITransCommitFn = sword(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);
using OCITransRollbackFn = sword(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);

}  // namespace dbrunner::oci

#endif  // DBRUNNER_DB_OCI_API_H_
