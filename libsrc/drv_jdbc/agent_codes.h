// The request and option codes that travel through the agent operation
// table's slot 0 (DRV_GetInfo: a question) and slot 1 (DRV_SetOption: a
// setting), named once for every layer: the core, the cursor library, the
// worker proxy and the agent that answers them. Most are answered by the
// agent; the cursor library answers its own (the scroll capability text, a
// mixed cursor's bookmark) in front of it.
//
// A code is 32 bits: scope in bits 28-31 (1 environment, 2 connection, 3
// statement: which handle table the handle is looked up in), form in bits
// 24-27 (1 text, 2 32-bit integer), group in bits 16-23 (0x01 capabilities
// and state, 0x03 options, 0x04 SQLGetInfo types) and the item in bits 0-15.
// An option is read back through slot 0 with the code it is set with.
#ifndef QMR_DRV_JDBC_AGENT_CODES_H
#define QMR_DRV_JDBC_AGENT_CODES_H

#include <sqlext.h>

#include <cstdint>

#include "util/odbc_own.h"

// Parts of a code.
constexpr uint32_t INFO_SCOPE_MASK = 0xF0000000u;
constexpr uint32_t INFO_SCOPE_ENV = 0x10000000u;
constexpr uint32_t INFO_SCOPE_CONN = 0x20000000u;
constexpr uint32_t INFO_SCOPE_STMT = 0x30000000u;
constexpr uint32_t INFO_FORM_MASK = 0x0F000000u;
constexpr uint32_t INFO_FORM_TEXT = 0x01000000u;
constexpr uint32_t INFO_FORM_INT = 0x02000000u;
constexpr uint32_t INFO_GROUP_MASK = 0x00FF0000u;
constexpr uint32_t INFO_GROUP_CAPS = 0x00010000u;
constexpr uint32_t INFO_GROUP_OPTIONS = 0x00030000u;
constexpr uint32_t INFO_GROUP_ODBC = 0x00040000u;

// Environment.
constexpr uint32_t INFO_AGENT_KIND = 0x11010000u;  // text: what kind of agent ("jdbc")

// Connection capabilities and state (integers unless said).
constexpr uint32_t INFO_AGENT_FEATURES = 0x22010001u;     // the agent's feature bits
constexpr uint32_t INFO_NEEDS_BINDING = 0x22010002u;      // parameters must be bound
constexpr uint32_t INFO_MORE_RESULTS = 0x22010003u;       // more results
constexpr uint32_t INFO_PARAM_OPS = 0x22010004u;          // parameter operations
constexpr uint32_t INFO_OUT_DEFER_FETCH = 0x22010005u;    // deferred fetch of output parameters
constexpr uint32_t INFO_SCROLL_CURSORS = 0x22010006u;     // scrollable cursors
constexpr uint32_t INFO_LOCK_BY_UPDATE = 0x22010007u;     // rows locked by the cursor library
constexpr uint32_t INFO_DYN_MIXED_CURSORS = 0x22010008u;  // dynamic and mixed cursors
constexpr uint32_t INFO_MARKER_LIMIT = 0x22010009u;       // most parameter markers
constexpr uint32_t INFO_V2_DATA_AT_EXEC = 0x2201000Au;    // ODBC 2 data at execution
constexpr uint32_t INFO_ROW_VERSIONS = 0x2201000Bu;       // row versions
constexpr uint32_t INFO_EXECUTE_TWO_STEPS = 0x2201000Eu;  // execute in two steps
constexpr uint32_t INFO_CAPABILITY_MASK = 0x22010011u;    // the capability bits in one
constexpr uint32_t INFO_BEFORE_SCROLL = 0x22010012u;      // asked before the scroll text
constexpr uint32_t INFO_WIDE_TEXT = 0x22010013u;          // the agent takes UTF-8 names
constexpr uint32_t INFO_SCROLL_FLAG_7 = 0x22010014u;      // flag 7 of the scroll text
constexpr uint32_t INFO_SCROLL_FLAG_8 = 0x22010015u;      // flag 8 of the scroll text
constexpr uint32_t INFO_KEEP_WORKER = 0x22010017u;        // keep the worker thread
constexpr uint32_t INFO_WORKER_NO_STOP = 0x22010018u;     // the worker needs no stop event
constexpr uint32_t INFO_CONN_CLOSED = 0x22010019u;        // 1: the JDBC connection is closed
constexpr uint32_t INFO_CONVERT_WIDE = 0x2201001Au;       // 1: {fn CONVERT} takes SQL_WVARCHAR
constexpr uint32_t INFO_CURRENT_CATALOG = 0x2101000Du;    // text: the current catalog
constexpr uint32_t INFO_SCROLL_TEXT = 0x21010010u;        // text: the cursor library's services

// Connection settings of group 0x01, set once while a connection opens.
constexpr uint32_t OPT_ODBC_VERSION = 0x2201000Cu;     // the application's ODBC version
constexpr uint32_t OPT_CONNECT_FLAG_20 = 0x2201000Fu;  // connection flag 0x20 passed on
constexpr uint32_t OPT_MULTIPLE_ACTIVE = 0x22010016u;  // multiple active statements emulated

// Connection options: the base | a driver-specific option, and the ones the
// layers name.
constexpr uint32_t OPT_CONN_INT = 0x22030000u;
constexpr uint32_t OPT_CONN_TEXT = 0x21030000u;
constexpr uint32_t OPT_AUTOCOMMIT = OPT_CONN_INT;                         // on or off
constexpr uint32_t OPT_ACCESS_MODE = OPT_CONN_INT | 1;                    // read-only or not
constexpr uint32_t OPT_TXN_ISOLATION = OPT_CONN_INT | SQL_TXN_ISOLATION;  // the SQL_TXN_ bit
constexpr uint32_t OPT_CURRENT_CATALOG = OPT_CONN_TEXT | SQL_CURRENT_QUALIFIER;
constexpr uint32_t OPT_FAILOVER = 0x22030500u;  // failover on or off

// Statement state.
constexpr uint32_t INFO_ROW_COUNT = 0x32010000u;  // rows the last execute changed
constexpr uint32_t INFO_SETS_DONE = 0x32010001u;  // parameter sets the last execute ran
// Which result description the statement holds: a number that changes
// whenever the description does, so that a caller holding a copy made
// under the same number still holds it; 0: no number to rely on.
constexpr uint32_t INFO_COLS_GENERATION = 0x32010002u;
// 1: the last execute ran a searched UPDATE or DELETE that changed no row
// (its only result an update count of 0); else 0.
constexpr uint32_t INFO_CHANGED_NOTHING = 0x32010003u;
// A mixed cursor's bookmark of a rowset row (0-based row in the value, its
// bookmark out), answered by the cursor library.
constexpr uint32_t INFO_MIXED_BOOKMARK = 0x320100B0u;
// The bookmark of row n (0-based in the value, its bookmark out; 0 for
// none) of the last SQL_ADD, answered by the cursor library.
constexpr uint32_t INFO_ADDED_BOOKMARK = 0x320100B1u;
// Whether a bookmark past the rows of the result names a row the cursor
// added (the bookmark, 8 bytes, in the value; 1 or 0 out, 4 bytes),
// answered by the cursor library.
constexpr uint32_t INFO_ADDED_ROW = 0x320100B2u;

// Statement options: the base | the ODBC statement option, and the ones
// beyond ODBC's.
constexpr uint32_t OPT_STMT_INT = 0x32030000u;
constexpr uint32_t OPT_STMT_TEXT = 0x31030000u;
constexpr uint32_t OPT_QUERY_TIMEOUT = OPT_STMT_INT | SQL_QUERY_TIMEOUT;
constexpr uint32_t OPT_MAX_ROWS = OPT_STMT_INT | SQL_MAX_ROWS;
constexpr uint32_t OPT_NOSCAN = OPT_STMT_INT | SQL_NOSCAN;
constexpr uint32_t OPT_MAX_LENGTH = OPT_STMT_INT | SQL_MAX_LENGTH;
constexpr uint32_t OPT_CURSOR_TYPE = OPT_STMT_INT | SQL_CURSOR_TYPE;
constexpr uint32_t OPT_CONCURRENCY = OPT_STMT_INT | SQL_CONCURRENCY;
constexpr uint32_t OPT_KEYSET_SIZE = OPT_STMT_INT | SQL_KEYSET_SIZE;
constexpr uint32_t OPT_ROWSET_SIZE = OPT_STMT_INT | SQL_ROWSET_SIZE;
constexpr uint32_t OPT_SIMULATE_CURSOR = OPT_STMT_INT | SQL_SIMULATE_CURSOR;
constexpr uint32_t OPT_RETRIEVE_DATA = OPT_STMT_INT | SQL_RETRIEVE_DATA;
constexpr uint32_t OPT_USE_BOOKMARKS = OPT_STMT_INT | SQL_USE_BOOKMARKS;
constexpr uint32_t OPT_GET_BOOKMARK = OPT_STMT_INT | SQL_GET_BOOKMARK;
constexpr uint32_t OPT_ROW_NUMBER = OPT_STMT_INT | SQL_ROW_NUMBER;
constexpr uint32_t OPT_DESCRIBE_PARAMS = OPT_STMT_INT | SQL_ATTR_ENABLE_AUTO_IPD;
constexpr uint32_t OPT_SETS_ONE_BY_ONE = 0x32030030u;      // the next execute: no batch of its sets
constexpr uint32_t OPT_LAST_SERIAL = OPT_STMT_INT | 1049;  // the last serial value
constexpr uint32_t OPT_DRIVER_1050 = OPT_STMT_INT | QMR_STMT_OPTION_1050;

// SQLGetInfo types the agent answers: the base | the type.
constexpr uint32_t INFO_ODBC_INT = 0x22040000u;   // numeric answer
constexpr uint32_t INFO_ODBC_TEXT = 0x21040000u;  // text answer

#endif
