// The agent's records behind its handles: the one agent environment, the
// agent connections and the agent statements. Every record is created
// zero-filled (the members' initialisers) and owned by its handle table.
//
// JdbcConn and JdbcStmt begin with what the JNI layer needs to post on
// them: a JdbcConn starts with its ErrorList, so the record itself can serve
// as an error target; a JdbcStmt starts with its connection, then its list.
#ifndef QMR_DRV_JDBC_J_RECORDS_H
#define QMR_DRV_JDBC_J_RECORDS_H

#include <jni.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-conninfo.h"
#include "drv_jdbc/j-error.h"
#include "platform/lock.h"
#include "util/colset.h"
#include "util/copyout.h"
#include "util/hash.h"
#include "util/xa.h"

// One entry of a connection's server type table (key: the 16-bit SQL type).
struct JdbcTypeEntry {
  char typeName[61];
  // Long enough for the longest prefixes servers list ("TIMESTAMP '");
  // a cut prefix would build literals the server refuses.
  char literalPrefix[33];
  char literalSuffix[33];
};

// ---------------------------------------------------------------------------
// The one agent environment. Its first word heads the cursor library's list
// of connection entries (kept, like rvcList, under that library's lock).
struct JdbcEnv {
  void* scrConnList = nullptr;
  plat::RecursiveMutex cs;            // guards the error list against DRV_GetError
  ErrorList errors GUARDED_BY(cs){};  // a failed DRV_Connect leaves its errors here
  JNIEnv* jniEnv = nullptr;           // of the thread that initialised the agent
  jclass xaXidClass = nullptr;        // global: quillmar/support/XAXid
  jobject classLoader = nullptr;      // global: the QMRClassLoader over the archives
  void* rvcList = nullptr;            // the cursor library's row-version list
  uint32_t useCount = 0;
};

// ---------------------------------------------------------------------------
// An agent connection.
struct JdbcConn {
  ErrorList errors{};  // first: the record is an error target
  void* reserved = nullptr;
  JdbcEnv* envRec = nullptr;  // the owning environment record
  uint32_t env = 0;           // the owning environment's handle
  uint32_t handle = 0;        // this connection's own agent handle

  jobject connection = nullptr;  // global: java.sql.Connection
  jobject metaData = nullptr;    // global: its DatabaseMetaData
  // Set exactly while the connection's XA side is open (j-xa.cpp): the
  // connection above is then the XA connection's.
  jobject xaConnection = nullptr;  // global: javax.sql.XAConnection
  jobject xaResource = nullptr;    // global: javax.transaction.xa.XAResource
  jclass xaXidClass = nullptr;     // the environment's, not owned
  char* xaClassName = nullptr;     // XA data-source class (after the ';'), owned
  char* driverClass = nullptr;     // driver class in JNI form (with '/'), owned
  jobject classLoader = nullptr;   // the environment's, not owned
  char* url = nullptr;             // URL, or a data source's property text, owned
  char* user = nullptr;            // owned
  char* password = nullptr;        // owned
  uint32_t readOnly = 0;           // current
  uint32_t readOnlyInitial = 0;    // as connected
  JNIEnv* jniEnv = nullptr;        // of the thread now calling

  HASH_TABLE* scalarFns = nullptr;  // name -> 1-based row of the scalar-function table (first use)
  HASH_TABLE* typeTable = nullptr;  // SQL type (2-byte key) -> JdbcTypeEntry*
  // The SQL_TIMEDATE_FUNCTIONS mask, asked when a statement first needs it.
  uint32_t timeDateFns = 0;
  bool timeDateFnsKnown = false;
  // The CONVERT_NAMES_ bits of the ODBC type names {fn CONVERT} takes, asked once.
  uint32_t convertNames = 0;
  bool convertNamesKnown = false;

  uint32_t describeAtPrepare = 0;  // set to 1 at connect; cleared when a describe fails
  // Counts the statements run on the connection that may change the schema
  // (anything but a query or a row change): a description kept across
  // executes trusts what it did not read again only while this stays.
  uint32_t schemaEpoch = 0;
  uint32_t streamParams = 0;  // set to 1 at connect; cleared when a stream setter fails
  uint32_t connFlag3 = 0;     // the third flag set to 1 at connect
  uint32_t odbcVersion = 0;   // the application's ODBC version, 2 at connect
  uint32_t stmtDefault = 0;   // copied into every new statement

  JdbcConnSettings settings;  // the connect path's block, copied at connect

  uint32_t teradata = 0;  // the server's product name contains "teradata"
  // The JDBC driver's getColumnName answers a column's label (Derby's).
  bool namesAreLabels = false;
  uint32_t sqlForms = 0;    // lexical forms of the server's SQL (SQLLEX_*, util/sqllex.h)
  uint32_t utf8 = 0;        // UTF-8 mode: the 0x57 0x7F 0x01 0x01 marker came with the options
  uint32_t optionFlag = 0;  // set by DRV_SetOption
  uint32_t multipleActiveStmts = 0;  // MASE emulation asked for
  uint32_t dynCursorsEnabled = 0;    // set by the capability questions
  // Whether parameter arrays go to the JDBC driver as batches: asked when
  // the connection first runs one (j-exec-batch.cpp).
  enum : uint8_t { kBatchUnknown, kBatchYes, kBatchNo };
  uint8_t paramBatch = kBatchUnknown;
  // Whether the JDBC driver takes java.time values for date and time
  // parameters: learnt from the first one set (j-wrap-stmt.cpp).
  enum : uint8_t { kJavaTimeUnknown, kJavaTimeYes, kJavaTimeNo };
  uint8_t javaTimeParams = kJavaTimeUnknown;

  // The recovery scan running between an XA recover with TMSTARTRSCAN and
  // one with TMENDRSCAN: the branches the resource reported, and the next
  // one to hand out.
  std::vector<XID> xaRecovered;
  size_t xaRecoverNext = 0;
  bool xaScanOpen = false;

  // The handles of this connection's statements, so that disconnect frees
  // them without walking the shared statement table.
  plat::Mutex stmtLock;
  std::vector<uint32_t> stmts GUARDED_BY(stmtLock);
  // The pooled or XA connection a connection came through when its data
  // source offers no getConnection; closed at disconnect.
  jobject pooledConnection = nullptr;

  // Touched by the layers in front of the agent; the cursor library's two
  // under its own lock, through accessors that require it.
  HASH_TABLE* keyColCache = nullptr;  // the cursor library's key-column cache
  // The cursor library's catalog answers and the schemaEpoch they were
  // read under (its own type, scrs/scrtables.cpp); freed at its disconnect.
  void* scrCatalog = nullptr;
  void* worker = nullptr;  // the worker-thread proxy's PRX_WORKER
};

// ---------------------------------------------------------------------------
// State bits of a statement (JdbcStmt::flags).
enum : uint16_t {
  STMT_PREPARED = 0x0001,
  STMT_EXECUTED = 0x0002,  // a result (rows or an update count) is current
  STMT_NO_MORE_ROWS = 0x0004,
  STMT_RESULT_SET = 0x0008,      // the current result is a result set
  STMT_VALUES_PENDING = 0x0010,  // values or bindings handed over, not yet sent
  STMT_PREPARE_CALL = 0x0040,    // prepared with prepareCall
  STMT_COLS_DESCRIBED = 0x0080,
  STMT_DESCRIBE_PENDING = 0x0100,  // prepared, result columns described when first asked
  STMT_OUT_REGISTERED = 0x0200,
};

// Text flags (JdbcStmt::textFlags).
enum : uint16_t {
  STMT_TEXT_MARKERS = 0x0002,
  STMT_TEXT_PROCCALL = 0x0004,
  STMT_TEXT_SEARCHED_CHANGE = 0x0008,  // a searched UPDATE or DELETE (sqlIsSearchedChange)
  STMT_TEXT_NO_COUNT = 0x0010,         // a definition or setting: its count is none (sqlStmtKind)
  STMT_TEXT_TIMESTAMPDIFF = 0x0020,    // calls the scalar function {fn TIMESTAMPDIFF(...)}
};

// The hook a catalog result runs after each fetch that delivered rows.
typedef uint32_t (*JdbcRowHook)(struct JdbcStmt* stmt, COLSET* set);

// The lock DRV_Cancel shares with a statement's own thread (j-handles.h).
plat::Mutex& AGT_StatementRefLock();

// A statement's Java statement, a global reference. DRV_Cancel reads it from
// another thread, so the statement's own thread replaces or deletes it only
// under AGT_StatementRefLock() and the other thread reads it only under that
// lock. The own thread reads it without the lock: nothing else writes it.
class JdbcStmtRef {
 public:
  // The statement's own thread's read.
  operator jobject() const { return ref_; }
  // Another thread's read.
  jobject Shared() const REQUIRES(AGT_StatementRefLock()) { return ref_; }
  // Deletes the reference held (when there is an env to delete it with) and
  // keeps a new global reference to obj, or none when obj is null.
  void Replace(JNIEnv* env, jobject obj) REQUIRES(AGT_StatementRefLock()) {
    if (ref_ != nullptr && env != nullptr) env->DeleteGlobalRef(ref_);
    ref_ = obj != nullptr ? env->NewGlobalRef(obj) : nullptr;
  }

 private:
  jobject ref_ = nullptr;
};

// An agent statement.
struct JdbcStmt {
  JdbcConn* conn = nullptr;  // first: the owning connection
  ErrorList errors{};
  uint32_t handle = 0;       // this statement's own agent handle
  uint16_t flags = 0;        // STMT_* state bits
  char* sql = nullptr;       // the original text as received (escapes translated), owned
  uint16_t markerCount = 0;  // '?' markers in the text
  uint16_t kind = 0;         // 1 SELECT, 2 INSERT/UPDATE/DELETE, 3 other
  uint16_t textFlags = 0;    // STMT_TEXT_* bits
  COLSET* params = nullptr;  // parameter values handed over by DRV_SetParams, owned
  uint16_t paramCount = 0;   // parameters described
  uint32_t paramsDescribed = 0;
  // Whether each marker is PostgreSQL's money: -1 not yet asked, 0 or 1.
  std::vector<int8_t> moneyParams;

  // The block the scroll library reads.
  uint16_t optionBits = 0;         // bit 0x1000: adjust column attributes from the analysis
  void* selectAnalysis = nullptr;  // attached by the scroll library
  void* scrCursor = nullptr;       // the scroll library's cursor state
  uint32_t colLengthLimit = 0;     // column-length limit for the row buffers
  uint32_t pendingData = 0;        // cleared by the positioned and bulk operations

  uint32_t stmtDefault = 0;      // from the connection at allocation
  uint32_t wide = 0;             // describe character columns with the wide types
  jobject* connRef = nullptr;    // &conn->connection
  JdbcStmtRef statement;         // Statement / PreparedStatement / CallableStatement
  jobject rsMetaData = nullptr;  // global: the current ResultSetMetaData
  jobject resultSet = nullptr;   // global: the current ResultSet, null for an update count
  JNIEnv* jniEnv = nullptr;      // of the thread now calling

  // The description of the prepared statement's last result, kept for its
  // next execute (j-exec-kept.cpp), owned; colsKept: the current cols are it.
  struct KeptDesc* keptDesc = nullptr;
  uint8_t colsKept = 0;
  // The current result was opened by a statement executed directly and is
  // not described yet: its first reader describes it (jexec::DescribeLate).
  uint8_t describeLate = 0;

  // The JDBC driver refused a java.time getter: dates and times are read
  // from their text.
  uint8_t dateTimeAsText = 0;
  // What the JDBC driver refused for an output parameter's date or time:
  // getObject with a java.time class, getString (PostgreSQL's refuses both
  // for a parameter registered as a date or time). Neither is asked again on
  // this statement, since each refusal costs an exception.
  enum : uint8_t { kOutNoFields = 1, kOutNoText = 2 };
  uint8_t outDateTimeRefused = 0;

  COLSET* rows = nullptr;                         // fetched rows, owned
  struct JdbcRowBlock* rowBlock = nullptr;        // the block reader's kept block, owned
  struct JdbcParamRecord* paramRecord = nullptr;  // while set, plain setters are recorded (jblock)
  uint16_t colCount = 0;
  JdbcColDesc* cols = nullptr;  // result columns, owned
  // Which description cols is (stmtColsReplaced): a copy the core made
  // under the same number is that description still.
  uint32_t colsGeneration = 0;
  uint16_t paramDescCount = 0;
  JdbcColDesc* paramDescs = nullptr;  // parameter descriptions, owned
  // The JDBC driver's java.sql.Types number of each marker (its
  // ParameterMetaData, JDBC_NULL where it gives none): asked once per
  // prepare, when a value first needs it, for a server that describes a
  // statement (PostgreSQL) answers with a round trip.
  std::vector<int32_t> jdbcParamTypes;
  bool jdbcParamTypesAsked = false;

  uint32_t maxRows = 0;        // row limit, 0 = none
  void* fetchValue = nullptr;  // fetched-value buffer, owned
  uint16_t fetchValueInUse = 0;

  // Execute and fetch state: reset at allocation and at every reset.
  uint32_t executedSets = 0;
  uint32_t setsOneByOne = 0;  // the next execute runs its sets one by one, never as a batch
  // Whether the prepared text gives rows (DELETE ... RETURNING): asked once
  // per prepare, when an array first might go as a batch.
  enum : uint8_t { kRowsUnknown, kRowsNone, kRowsGiven };
  uint8_t givesRows = kRowsUnknown;
  uint32_t rowCount = 0;  // update counts summed, or rows of the last fetch
  // The current result's update count as the JDBC driver gives it (summed
  // over the parameter sets that gave it); -1 for a result set or none.
  int32_t updateCount = -1;
  uint32_t rowsFetched = 0;  // since the result set was opened
  // A row that failed after the rows before it in the same read: those rows
  // went out, its failure (records and code) waits for the next fetch.
  ErrorList heldErrors{};
  bool rowFailureHeld = false;
  int32_t rowPosition = -1;
  int32_t singleTarget = -1;   // row-buffer column for JDBC column 1 of a catalog result
  int32_t fetchColLimit = -1;  // -1: read every row-buffer column
  uint32_t catalogKind = 0;    // 0: not a catalog result
  JdbcRowHook rowHook = nullptr;
  int16_t requestedType = 0;       // SQLGetTypeInfo's type, 0 = all
  uint32_t procOrdinal = 0;        // SQLProcedureColumns: next ORDINAL_POSITION
  char* lastProcName = nullptr;    // SQLProcedureColumns: procedure of the last row, owned
  std::shared_ptr<void> keptRows;  // a catalog result read whole and sorted into ODBC order
  void* resultBuffer = nullptr;    // freed at reset and at close, owned
  void* closeBuffer = nullptr;     // freed at close, owned

  uint16_t bindCount = 0;
  JdbcColBind* binds = nullptr;  // copied by DRV_BindCols, owned
  REC_PAIR* paramSet = nullptr;  // the parameter pair record, freed with the objects

  // Options stored by DRV_SetOption.
  uint32_t queryTimeout = 0;  // seconds; applied to every Java statement made
  uint32_t noScan = 0;
  uint32_t maxLength = 0;
  int32_t rowsetSize = 1;
  int32_t keysetSize = 0;
  uint32_t cursorType = 0;
  uint32_t concurrency = 1;
  uint32_t simulateCursor = 0;
  uint32_t retrieveData = 1;
  uint32_t useBookmarks = 0;
  uint32_t option1050 = 1;
  char* cursorName =
      nullptr;  // the application's cursor name, given to every Java statement made; owned
  uint16_t changedOptions = 0;  // 0x1 rowset size, 0x40 cursor type, 0x100 keyset size
  uint16_t fetchState = 0;
};

#endif
