// The driver's handle records: environment, connection, statement and
// descriptor. The application never sees these pointers; it holds numbers
// from the four handle tables of the dispatcher (driver/dispatch.h), and a
// record is reached only through a lookup that also checks its tag.
//
// Every record starts with its tag (the kind while alive, kTagReleased once
// released) and carries its diagnostics in `diag`.
#ifndef QMR_DRIVER_HANDLES_H
#define QMR_DRIVER_HANDLES_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driver/diag.h"
#include "driver/info_cache.h"
#include "driver/lock_order.h"
#include "driver/rowset/fetch_state.h"
#include "drv_jdbc/drv_agent.h"
#include "platform/lock.h"
#include "scrs/scrcore.h"
#include "util/colset.h"
#include "util/hash.h"

constexpr uint32_t kTagEnv = 0x3144;
constexpr uint32_t kTagConn = 0x3244;
constexpr uint32_t kTagStmt = 0x3344;
constexpr uint32_t kTagDesc = 0x3444;
constexpr uint32_t kTagReleased = 0xFFFFFFFFu;

struct EnvHandle;
struct ConnHandle;
struct StmtHandle;
struct DescHandle;
struct AgentValueType;  // drv_jdbc/j-opt.h

// ---------------------------------------------------------------------------
// Environment.

enum : uint32_t { kEnvReleased = 0, kEnvAllocated = 1, kEnvOpen = 2 };

struct EnvHandle {
  uint32_t tag = kTagEnv;
  uint32_t handle = 0;  // number in the environment table
  DiagArea diag{};
  uint32_t state = kEnvAllocated;
  EnvHandle* next = nullptr;        // process-wide list, newest first
  ConnHandle* firstConn = nullptr;  // newest first
  uint32_t serial = 0;              // environments counted so far, this one included
  uint32_t connCounter = 0;         // connections ever allocated on it
  uint32_t pooling = 0;             // SQL_ATTR_CONNECTION_POOLING
  uint32_t cpMatch = 0;             // SQL_ATTR_CP_MATCH
  uint32_t odbcVersion = 2;         // SQL_ATTR_ODBC_VERSION
  uint32_t outputNts = 1;           // SQL_ATTR_OUTPUT_NTS
};

// ---------------------------------------------------------------------------
// Connection.

// The statement options an ODBC 2 application set on its connection; a new
// statement copies them (the values are those of a new statement).
struct ConnStmtDefaults {
  uint32_t queryTimeout = 0;
  uint64_t maxRows = 0;
  uint32_t noScan = 0;
  uint64_t maxLength = 0;
  uint32_t bindType = 0;
  uint32_t cursorType = 0;   // forward only
  uint32_t concurrency = 1;  // read only
  uint32_t keysetSize = 0;
  uint32_t rowsetSize = 1;
  uint32_t simulateCursor = 0;
  uint32_t retrieveData = 1;
  uint32_t useBookmarks = 0;
};

enum : uint32_t { kConnReleased = 0, kConnAllocated = 1, kConnConnected = 2 };

// Connection flags.
enum : uint16_t {
  kConnNoPrompt = 0x01,
  kConnReadOnly = 0x02,  // cn_readonly
  kConnAutoCommit = 0x04,
  kConnAsync = 0x08,
  kConnOpt0x20 = 0x20,
  kConnOpt0x40 = 0x40,
  kConnMase = 0x80,
  kConnIncludeViews = 0x100,
  kConnIncludeAll = 0x200,
};

// Failover events handed to the application's callback.
enum : uint32_t { kFailoverCompleted = 16, kFailoverAborted = 17 };

// The application's failover callback: (event, context, always 0).
typedef void (*DRV_FailoverCallback)(uint32_t event, void* context, uintptr_t reserved);

// One row of the server's type information: its DATA_TYPE, TYPE_NAME and
// SEARCHABLE (-1: NULL).
struct TypeSearchRow {
  int16_t type = 0;
  int16_t searchable = -1;
  std::string name;
};
struct TypeSearchCache {
  bool loaded = false;
  std::vector<TypeSearchRow> rows;
};

struct ConnHandle {
  uint32_t tag = kTagConn;
  uint32_t handle = 0;  // number in the connection table
  DiagArea diag{};
  uint32_t state = kConnAllocated;
  ConnHandle* next = nullptr;       // next connection of the same environment
  StmtHandle* firstStmt = nullptr;  // newest first
  EnvHandle* env = nullptr;

  std::string dsn;  // data-source name; empty when none
  // Connect texts the connect path fills (driver/connect.*); they stay
  // until the next connect or the release (the password is wiped then).
  std::string uid;
  std::string pwd;
  std::string dbpath;  // cn_dbpath: the JDBC Driver or DataSource class
  std::string dbopts;  // cn_dbopts: the JDBC URL or property text
  std::string dbhost;  // cn_dbhost
  std::string portText;
  std::string svtype;   // cn_svtype
  std::string options;  // options text
  std::string text10;
  uint32_t cn_fetchSize = 0;

  uint16_t flags = kConnAutoCommit;
  uint32_t loginTimeout = 120;
  uint32_t isolation = 0;  // cached transaction isolation, 0 = none cached

  // The agent behind the connection and its two handles for it.
  DRV_Agent agent{};
  uint32_t agentEnv = 0;
  uint32_t agentConn = 0;

  uint32_t serial = 0;       // the environment's connection counter for this one
  uint32_t stmtCounter = 0;  // statements ever allocated on it

  // The object whose dispatched call is running (this connection, one of its
  // statements or descriptors), null when idle. Read and written only under
  // the dispatcher's call lock.
  void* busy GUARDED_BY(DRV_CallLock()) = nullptr;
  uint64_t busyThread GUARDED_BY(DRV_CallLock()) = 0;  // the thread running that call
  // The busy object once SQLCancel asked its running call to stop; the
  // call's failure is then reported as cancelled. Under the call lock.
  void* cancelled GUARDED_BY(DRV_CallLock()) = nullptr;
  // Whether the running call works at the database (CD_Cancellable), the
  // only kind SQLCancel stops; any other call of the statement it lets end.
  bool busyCancellable GUARDED_BY(DRV_CallLock()) = false;
  // Counts the calls claimed on the connection: a waiter tells by it whether
  // the call it watches is still the one running.
  uint64_t callSerial GUARDED_BY(DRV_CallLock()) = 0;

  // Capabilities the agent reported at connect.
  uint32_t cn_needbind = 0;
  uint32_t cn_hasMoreRes = 0;
  uint32_t cn_hasParamOp = 0;
  uint32_t cn_spOutDeferFetch = 0;
  uint32_t cn_hasScrlCurs = 0;
  uint32_t cn_hasDynMixCurs = 0;
  uint32_t cn_hasV2DAE = 0;
  // Set on a Unicode connection whose agent did not confirm that it takes
  // wide text: parameter values and descriptions reach it 8-bit.
  uint32_t cn_narrowText = 0;
  // Opened as a Unicode connection: through a wide entry point, or through
  // any entry point of the Unicode build.
  bool cn_unicode = false;
  uint32_t stmtWord = 0;  // copied into every new statement
  uint32_t cn_hasExecute2 = 0;
  uint32_t cap0x200 = 0;
  uint32_t cap0x400 = 0;
  uint32_t cap0x800 = 0;
  uint32_t cap0x1000 = 0;
  uint32_t capFailover = 0;
  uint32_t capDtc = 0;

  DRV_FailoverCallback failoverCallback = nullptr;
  void* failoverContext = nullptr;

  // Connection options and attributes (driver/connopt.*).
  uint32_t asyncEnable = 0;      // SQL_ATTR_ASYNC_ENABLE, copied into each statement
  uint32_t translateOption = 0;  // SQL_ATTR_TRANSLATE_OPTION
  bool hasTranslateLib = false;  // SQL_ATTR_TRANSLATE_LIB set and not cleared
  bool linkLost = false;         // a communication failure was reported since the connect
  std::string translateLib;
  std::string currentCatalog;  // last catalog set through SQL_ATTR_CURRENT_CATALOG
  std::string appName;         // option 1051; the connect stores the program name when empty
  // The application's own auto-commit and access-mode choices (-1: none made).
  // The connect re-derives both flags from the data source; these are then
  // applied again (CONN_ApplyPendingOptions), so an explicit choice holds.
  int32_t wantAutoCommit = -1;
  int32_t wantAccessMode = -1;
  bool wantCatalog = false;     // currentCatalog was set and is applied at connect
  void* dtcResource = nullptr;  // transaction-resource object of an enlistment
  uint32_t dtcEnlisted = 0;
  void* xaData = nullptr;  // the distributed-transaction code's word for this connection

  // The agent's value-type table, asked at connect (GetOpTable, kind 1); the
  // rows stay the agent's. Kind 0: none.
  uint16_t opTableKind = 0;
  uint32_t opTableCount = 0;
  const AgentValueType* opTableRows = nullptr;

  // SQLGetInfo answers (driver/info.*); emptied by CONN_Reset.
  ConnInfoCache infoCache;

  // The server's type information as result columns' SQL_DESC_SEARCHABLE
  // reads it (driver/rowset/typeinfo.cpp): read whole the first time a
  // column asks, so that a connection runs the query once; emptied by
  // CONN_Reset. Its lock is taken with no other held and held for no call.
  plat::Mutex typeSearchLock;
  TypeSearchCache typeSearch GUARDED_BY(typeSearchLock);

  // Statement options set on the connection (ODBC 2): every new statement
  // starts from these (driver/stmtopt.h).
  ConnStmtDefaults stmtDefaults;

  // The distributed-transaction code's own lock.
  plat::RecursiveMutex dtcLock;
  // The call lock the dispatcher holds around every operation on this
  // connection. A gate, so that the transaction coordinator's thread may
  // release a hold taken on another thread.
  plat::Gate callLock ACQUIRED_BEFORE(lock_order::serialLock);
  // Set (for good) before anything other than the dispatcher may take the
  // call lock: the enlistment handing it to the coordinator, the XA switch
  // opening the connection. Until then the busy mark alone keeps calls
  // apart, and the dispatcher leaves the gate alone.
  std::atomic<bool> callLockShared{false};
};

// ---------------------------------------------------------------------------
// Statement.

// One data-at-execution value of one parameter set, as SQLPutData gathered
// it: the pieces behind each other, or NULL.
struct ParamDaeValue {
  std::string bytes;
  bool isNull = false;
};

// Statement state.
//   1 (kStmtAllocated): nothing on the agent side can be described: newly
//     allocated, closed (SQLFreeStmt SQL_CLOSE, SQLCloseCursor, SQLCancel of
//     an idle statement), or a preparation failed.
//   2 (kStmtPrepared): the agent holds a prepared statement, or one that
//     executed, or a catalog result. Results may be described and fetched.
//     Set by a successful preparation, by every successful execution and by
//     the catalog functions; STMT_Close closes the agent's cursor and goes
//     back to 1.
// Closing keeps the preparation itself (kStmtFlagPrepared), so SQLExecute
// after SQLFreeStmt(SQL_CLOSE) executes again and makes the state 2 again.
enum : uint32_t { kStmtReleased = 0, kStmtAllocated = 1, kStmtPrepared = 2 };

// Statement flags.
//   0x01 the agent holds a prepared statement (set by preparation, cleared
//        when a new preparation starts, so a failed one leaves none).
//   0x02 executed: a result (rows or a count) may be open; SQLCloseCursor
//        requires it; STMT_Close clears it.
//   0x04 the agent needs the parameter descriptions (SQL type, size,
//        direction) handed over before it executes: set at allocation when
//        the connection has cn_needbind, never cleared.
//   0x08 the descriptions have been handed over since the last preparation
//        (by a one-call execute); preparation clears it when 0x04 applies,
//        so later executions of the same preparation send values only.
enum : uint16_t {
  kStmtFlagPrepared = 0x01,
  kStmtFlagCursorOpen = 0x02,
  kStmtFlagNeedBind = 0x04,
  kStmtFlagBindsPassed = 0x08,
};

struct StmtHandle {
  uint32_t tag = kTagStmt;
  uint32_t handle = 0;  // number in the statement table
  DiagArea diag{};
  uint32_t state = kStmtAllocated;
  StmtHandle* next = nullptr;  // next statement of the same connection
  ConnHandle* conn = nullptr;
  uint32_t serial = 0;
  DRV_Agent* agent = nullptr;  // the connection's agent record
  uint32_t agentStmt = 0;

  // Copies of the connection's statement defaults.
  uint32_t queryTimeout = 0;
  uint64_t maxLength = 0;
  uint64_t maxRows = 0;
  uint32_t bindType = 0;
  uint32_t noScan = 0;

  // Calls on this statement waiting for their turn on the connection that
  // SQLCancel may end (CD_Cancellable), and whether SQLCancel asked the next
  // of them to end unrun (HY008). Other calls wait uncounted and run.
  uint32_t callsWaiting GUARDED_BY(DRV_CallLock()) = 0;
  bool cancelWaiting GUARDED_BY(DRV_CallLock()) = false;

  uint32_t connWord = 0;  // the connection's stmtWord at allocation
  uint16_t flags = 0;
  uint16_t needData = 0;  // pending need-data step
  // SQLExecDirect lowered the cursor and then asked for data at execution:
  // the SQLParamData that ends the execution reports 01S02 in its place.
  bool cursorChangedPending = false;
  uint32_t word1 = 1;
  uint32_t word2 = 0;

  // The four implicit descriptors, and the ARD/APD currently in use (an
  // explicit descriptor the application installed, else the implicit one).
  DescHandle* implicitArd = nullptr;
  DescHandle* implicitApd = nullptr;
  DescHandle* ard = nullptr;
  DescHandle* apd = nullptr;
  DescHandle* ird = nullptr;
  DescHandle* ipd = nullptr;

  // The cursor library's state of the statement: options, row position,
  // the current rowset.
  SCR_CURSOR cursor{};

  // Preparation (driver/prepare.*).
  uint32_t isSelect = 0;              // the text begins with the five letters SELECT
  uint16_t paramCount = 0;            // parameter descriptions from the agent
  JdbcColDesc* paramDescs = nullptr;  // owned (ColDescFree)
  uint32_t paramsRefreshed = 0;
  uint16_t inParams = 0;  // parameters by kind
  uint16_t outParams = 0;
  uint16_t inOutParams = 0;
  uint32_t paramRecount = 0;  // a "*U" description: kinds follow the bindings
  // Data-at-execution position: parameter index, previous index, set, current set.
  uint16_t daeParam = 0;
  uint16_t daePrevParam = 0;
  uint32_t daeSet = 0;
  uint32_t daeCurrentSet = 0;
  uint64_t rowsFetched = 0;  // rows a forward-only cursor has delivered

  // The current result (driver/coldesc.*).
  uint16_t colCount = 0;
  JdbcColDesc* cols = nullptr;     // owned (ColDescFree); null until described
  uint32_t rowsPerBlock = 0;       // rows one agent fetch asks for
  ATTR_ENTRY* colAttrs = nullptr;  // the agent's attribute list, owned (STMT_FreeColAttrs)
  uint16_t colAttrCount = 0;
  // The agent's number for the description cols copies (0: none), and the
  // attribute list a close set aside while cols stayed: an execute that
  // leaves the agent's description as it was takes both up again.
  uint32_t colsGeneration = 0;
  ATTR_ENTRY* closedAttrs = nullptr;  // owned
  uint16_t closedAttrCount = 0;
  uint32_t useBookmarks = 0;  // SQL_ATTR_USE_BOOKMARKS

  // Statement options and attributes kept by the core (driver/stmtopt.h).
  uint32_t asyncEnable = 0;  // SQL_ATTR_ASYNC_ENABLE
  uint32_t option1050 = 0;   // driver options stored beside the agent's copy
  uint32_t option1052 = 0;
  uint32_t option1054 = 0;
  void* fetchBookmarkPtr = nullptr;  // SQL_ATTR_FETCH_BOOKMARK_PTR

  // The statement row buffer the agent fetches into, and the positions in it.
  COLSET rows{};
  uint16_t rowIndex = 0;     // next row of the buffer
  uint16_t fetchColumn = 0;  // column position of a piecewise read
  // Values on their way to the application: the piecewise read, the rowset,
  // per-row buffers of bound columns (driver/rowset/fetch_state.h).
  FetchState fetch;

  // Parameters (driver/params.*): the values SQLPutData gathered, by
  // parameter (0-based) and parameter set; the descriptions last handed to
  // the agent, so that a changed binding sends them again.
  std::vector<std::vector<ParamDaeValue>> daeValues;
  std::vector<JdbcColBind> sentBinds;

  // SQLSetPos and SQLBulkOperations waiting for values at execution.
  SetPosState setPos;
};

// ---------------------------------------------------------------------------
// Descriptor.

enum : uint16_t { kDescExplicit = 0, kDescIRD = 1, kDescARD = 2, kDescIPD = 3, kDescAPD = 4 };
enum : uint16_t { kDescAllocAuto = 1, kDescAllocUser = 2 };

// One descriptor record. The records of the current ARD and APD are the
// statement's column and parameter bindings: a record whose data pointer is
// set is bound. Lengths keep the full 64-bit ODBC width.
struct DescRec {
  int16_t conciseType = 0;
  void* data = nullptr;
  int16_t dtCode = 0;       // datetime/interval code
  int32_t dtPrecision = 0;  // datetime/interval precision
  int16_t fixedPrecScale = 0;
  int64_t* indicator = nullptr;
  uint64_t length = 0;
  std::string name;   // UTF-8; empty when none
  int32_t radix = 0;  // numeric precision radix
  int64_t octetLength = 0;
  int64_t* octetLengthPtr = nullptr;
  int16_t paramType = 0;  // SQL_PARAM_INPUT ...
  int16_t precision = 0;
  int16_t scale = 0;
  int16_t type = 0;     // the verbose type
  int16_t unnamed = 0;  // 0 named, 1 unnamed
  int16_t unsignedFlag = 0;
};

struct DescHandle {
  uint32_t tag = kTagDesc;
  DiagArea diag{};
  uint32_t handle = 0;         // number in the descriptor table
  ConnHandle* conn = nullptr;  // owner of an explicit descriptor
  StmtHandle* stmt = nullptr;  // owner of an implicit descriptor
  uint16_t kind = kDescExplicit;
  uint16_t allocType = kDescAllocUser;

  // Header fields.
  uint64_t arraySize = 1;
  uint16_t* arrayStatus = nullptr;
  int64_t* bindOffset = nullptr;
  uint32_t bindType = 0;
  int16_t count = 0;
  // IRD: the statement's rows-fetched pointer; IPD: its params-processed
  // pointer (the statement attributes are these fields).
  uint64_t* rowsProcessed = nullptr;

  // Records 0 (the bookmark record, made when a record is first asked
  // for) to count; each record keeps its address for its whole life.
  std::vector<std::unique_ptr<DescRec>> recs;
};

// The connection a descriptor belongs to: its own, or its statement's.
inline ConnHandle* DESC_Conn(const DescHandle* d) {
  if (d->conn != nullptr) return d->conn;
  return d->stmt != nullptr ? d->stmt->conn : nullptr;
}

// Fails the call with an internal error code on a diagnostic area alone:
// the dispatcher's, which may not know the kind of the handle it holds.
inline int16_t FailArea(DiagArea* diag, int32_t code) {
  diag->pending = code;
  return -1;  // SQL_ERROR
}

// Fails the call with an internal error code; the dispatcher turns the
// pending code into the handle's diagnostic record.
template <class Handle>
inline int16_t Fail(Handle* handle, int32_t code) {
  return FailArea(&handle->diag, code);
}

// Fails a step whose caller decides the call's return value from the code
// itself; the code is pending as with Fail.
template <class Handle>
inline int32_t FailCode(Handle* handle, int32_t code) {
  Fail(handle, code);
  return code;
}

// Fails the call with the cause a deeper step left pending, or with `code`
// when that step named none.
template <class Handle>
inline int16_t FailUnlessPending(Handle* handle, int32_t code) {
  if (handle->diag.pending != 0) return -1;  // SQL_ERROR
  return Fail(handle, code);
}

// The call succeeds with a warning: the code is reported as its diagnostic.
template <class Handle>
inline int16_t Warn(Handle* handle, int32_t code) {
  handle->diag.pending = code;
  return 1;  // SQL_SUCCESS_WITH_INFO
}

// Drops the code a step left pending: a warning that is no news to the
// application, a code used as a signal between steps, or a start afresh.
template <class Handle>
inline void ClearPending(Handle* handle) {
  handle->diag.pending = 0;
}

// Makes a code read from a handle pending on it again: what an earlier step
// of the call answered, which a later step's success must not replace.
template <class Handle>
inline void RestorePending(Handle* handle, int32_t code) {
  handle->diag.pending = code;
}

// Hands over the code pending on a handle, which then no longer reports it:
// a failure met on one handle that the call reports on another.
template <class Handle>
inline int32_t TakePending(Handle* handle) {
  const int32_t code = handle->diag.pending;
  ClearPending(handle);
  return code;
}

// Sets aside a handle's pending code while a step runs whose own code is
// read apart from it (and reported elsewhere, or dropped); the code set
// aside is pending again at the end of the scope.
class PendingAside {
 public:
  explicit PendingAside(DiagArea* diag) : diag_(diag), kept_(diag->pending) { diag_->pending = 0; }
  ~PendingAside() { diag_->pending = kept_; }
  PendingAside(const PendingAside&) = delete;
  PendingAside& operator=(const PendingAside&) = delete;

  // The code the step left pending (0: none).
  int32_t left() const { return diag_->pending; }

 private:
  DiagArea* diag_;
  int32_t kept_;
};

#endif
