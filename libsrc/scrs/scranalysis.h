// What the cursor library learns of a scrollable SELECT when it is
// prepared: its tables as the catalog names them, their columns and key
// columns, the select list tied to those columns, the ORDER BY items, and
// the statements built from them to read rows by key.
//
// Names inside these records are raw: as the catalog stores them, without
// quote characters. They are quoted only where SQL is written (SCR_IdentSql),
// so a quote character inside a name is doubled exactly once and a name
// never reaches SQL unquoted when it needs quotes.
#ifndef QMR_SCRS_SCRANALYSIS_H
#define QMR_SCRS_SCRANALYSIS_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "scrs/dsc.h"
#include "sqlan/sqlanalyse.h"
#include "util/colset.h"
#include "util/owners.h"
#include "util/rowstatus.h"

struct SCR_CURSOR;
struct JdbcConn;

// A description array of the agent's (ColDescAlloc), freed with
// ColDescFree for the count the deleter keeps.
struct SCR_ColDescFree {
  uint16_t count = 0;
  void operator()(JdbcColDesc* descs) const;
};
using SCR_ColDescPtr = std::unique_ptr<JdbcColDesc, SCR_ColDescFree>;

// How the data source writes and stores names.
struct SCR_IDENTS {
  std::string quote;          // identifier quote; empty when it has none
  uint32_t quotedCase = 3;    // SQL_IC_* for names written quoted
  uint32_t unquotedCase = 1;  // SQL_IC_* for plain names
  std::string escape;         // search-pattern escape; empty when none
  std::string user;           // current user name
  uint32_t maxOrderBy = 0;    // SQL_MAX_COLUMNS_IN_ORDER_BY, 0 = no limit
  uint32_t noQualifier = 0;   // no catalog qualifiers
};

// One table of the FROM clause, resolved.
struct SCR_TABLE {
  std::string qualifier, owner, table, alias;
};

// The entry format of DRV_BindCols for the statements the library makes.
struct SCR_PARAMDESC {
  int32_t sqlType;
  int32_t cType;
  uint32_t columnSize;
  uint16_t decimalDigits;
  uint16_t kind;  // 1: input
};

// The keyset cursor's key columns, as the generated statements name them.
struct KS_CURSOR {
  uint8_t tableCount = 0;
  std::vector<SCR_COLDESC> keys;
};

// The keys of an executed keyset, dynamic or mixed cursor and what the
// fetch paths keep between fetches. Owned by the analysis; freed with it
// and emptied (KS_Close) by every keyset fill or block fetch.
struct KS_KEYSET {
  KS_KEYSET();
  ~KS_KEYSET();
  KS_KEYSET(const KS_KEYSET&) = delete;
  KS_KEYSET& operator=(const KS_KEYSET&) = delete;

  // Every key of the result (keyset size 0), key columns only, in result
  // order: in memory in `window`, or on disk and read back window by window.
  DSC cache;
  // Keys of keyset rows windowFirst.. (a mixed or dynamic cursor: its
  // current block, windowFirst 0).
  COLSET window{};
  int32_t windowFirst = DSC_NO_WINDOW;
  uint32_t rowCount = 0;         // keys in the keyset (or the block)
  std::vector<uint16_t> status;  // SQL_ROW_* per keyset row (block: per window row)
  // What the database said of the keyset rows whose refetch failed alone
  // (status SQL_ROW_ERROR), by keyset row.
  std::map<uint32_t, DSC_FAILED_ROW> failedRows;
  COLSET* bound = nullptr;  // first and last key of a block: the seek parameters
  // A block's keys with the sort values they were read with, so that a
  // seek can start from any of them.
  COLSET* blockRows = nullptr;
  int32_t scrollState = 0;  // a mixed cursor's block state (KS_BLOCK_*)

  // Optimistic-concurrency values of the current rowset (or, for a static
  // cursor, the whole result in `valuesCache`), and whether the values
  // statement holds its query.
  COLSET* values = nullptr;
  DSC valuesCache;
  int32_t valuesWindow = DSC_NO_WINDOW;
  uint16_t valuesFlags = 0;
  uint32_t rowsetInBlock = 0;  // a mixed cursor's rowset: its first row in the block (0-based)
  // A static cursor under values concurrency compares with its rows as it
  // read them, except where its own updates changed them: those rows' kept
  // values as read again after the update, by cache row. When its keys are
  // not among its columns, the values cache holds them: the values row of
  // each cache row (-1 where no row can be told for it).
  std::map<uint32_t, ColSetPtr> ownRows;
  std::vector<int32_t> valuesRowOf;
  // A keyset cursor (keyset size 0) under values concurrency: each row as
  // it was last fetched, one digest by keyset row (0: never fetched), so
  // that a change by bookmark of a row the rowset has left still compares.
  std::vector<uint64_t> fetchedDigests;
  // Rows the cursor added whose keys it was given: bookmark addedBase + 1 + i
  // names the key row added[i]; addedMarks are the last SQL_ADD's, by row.
  std::vector<ColSetPtr> added;
  uint32_t addedBase = 0;
  std::vector<uint32_t> addedMarks;
  // A mixed cursor's bookmarks: bookmark n names row n - 1, a key with its
  // sort values; kept across block moves until the result goes.
  COLSET* marks = nullptr;
  std::unordered_map<std::string, uint32_t> markOf;  // key text -> bookmark

  // Rows read by key ahead of a cursor read forward a few rows at a time,
  // each handed out once and in order: the rows of keyset rows
  // aheadFirst.. (a dynamic cursor: of the keys in aheadKeys, which follow
  // its block). nextRow: the keyset row after the last rowset read.
  ColSetPtr ahead, aheadKeys;
  uint32_t aheadFirst = 0, aheadNext = 0;
  uint32_t nextRow = UINT32_MAX;
  uint32_t aheadSpan = 0;      // keys of the last read ahead: each one reads twice as many
  uint64_t aheadRowBytes = 0;  // a row's bytes in the last rows read ahead
  // The storage of the rowset handed out last, given back by the next
  // fetch: a rowset taken from the rows read ahead is copied into it
  // rather than into storage made and freed for every row.
  ColSetPtr spare;
};

// Forgets the rows read ahead: a change the cursor makes leaves them old.
void KS_DropAhead(KS_KEYSET* ks);
// Rows first..first+n-1 of src copied (moved when `move`) into *out: the
// keyset's spare storage when it has the shape and the room, else new.
int KS_RowsetFrom(KS_KEYSET* ks, COLSET* src, uint32_t first, uint32_t n, int move, ColSetPtr* out);
// The columns of a rowset handed out before (emptied) kept as the keyset's
// spare storage; freed when there is no keyset or a long column would keep
// its values.
void KS_KeepSpare(KS_KEYSET* ks, COLSET* rows);
// Keys read ahead by one read when the application reads a few rows at a
// time forward (keyset and dynamic cursors), at first and, by keyset
// cursors, at most: a statement a row would cost more than the rows, and on
// a server across a network each read is a round trip.
constexpr uint32_t KS_AHEAD_FIRST = 64, KS_AHEAD_MOST = 4096;
// The keys the next read ahead takes: twice the last, from KS_AHEAD_FIRST
// up to `most` rows and a few megabytes of them, so that a long forward
// read sends few statements and a short one reads little it does not need.
uint32_t KS_AheadSpan(KS_KEYSET* ks, uint32_t most = KS_AHEAD_MOST);
// Notes the width of rows read ahead, which bounds the next reads' span.
void KS_NoteAheadWidth(KS_KEYSET* ks, const COLSET* rows);

// Drops a mixed cursor's bookmarks.
void KS_DropMarks(KS_KEYSET* ks);

// Drops the keys, statuses and bound row; the key cache is closed.
void KS_Close(KS_KEYSET* ks);

// A statement built from the application's: its text and where its
// markers fall. Parameters are bound in text order: the application's
// first `appBefore` values, then the library's, then the application's
// remaining ones.
struct SCR_BUILT {
  std::string text;
  uint32_t appBefore = 0;
  uint32_t libMarkers = 0;
  // Seek queries: for each of the library's markers in text order, the
  // column of the bound key row (seek SELECT order) whose value it takes,
  // and which of the block's two bound rows (0 first, 1 last) is meant.
  std::vector<uint16_t> boundCols;
  uint16_t boundRow = 0;
  // Key ranges: the first lowerMarkers of boundCols take the first bound
  // row, the others the last.
  uint32_t lowerMarkers = 0;
};

// The analysis of one statement, held by its cursor state.
// What positioned statements naming a forward-only cursor need: why its
// SELECT cannot take them (0 when it can), the result columns (0-based)
// that hold the table's key, and the key values of the row the cursor
// stands on (null when it stands on none).
struct SCR_FORWARD {
  int refusal = 0;
  std::vector<uint16_t> keyCols;
  ColSetPtr row;
};

struct SCR_ANALYSIS {
  uint32_t auxStmt = 0;     // private agent statement: catalog calls, positioned operations
  uint32_t valuesStmt = 0;  // private agent statement: values queries
  uint16_t flags = 0;  // analysis flags (SCR_SQL_*); SCR_NOT_SELECT alone for another statement
  bool held = false;   // the results below belong to the current text
  bool selectList = false;  // the select list is tied to table columns
  std::string text;         // the prepared text (rewritten when the select list changed)
  SCR_IDENTS idents;
  std::vector<SCR_TABLE> tables;
  std::vector<SCR_COLDESC> tableCols;
  std::vector<SCR_COLDESC> selectCols;
  std::vector<SCR_ORDERITEM> orderBy;
  uint16_t sortColumns = 0;
  KS_CURSOR ks;
  std::vector<SCR_PARAMDESC> params;  // of the statement the library runs next
  uint32_t needsBinding = 0;
  uint32_t lockByUpdate = 0;
  uint32_t addKeys = 0;
  uint32_t rowVersion = 0;
  // The application's parameter values, kept by the set-parameters hook so
  // that generated statements can send them behind their own (a copy each
  // time: the agent takes over what it is given).
  ColSetPtr appParams;
  std::unique_ptr<KS_KEYSET> keyset;
  // The application's parameter descriptions, sent with its values; and
  // whether the values came for the execution under way (an execution
  // without them forgets the last ones).
  std::vector<JdbcColBind> appBinds;
  bool appParamsFresh = false;
  // The keyset refetch runs on a private statement of its own, so that the
  // application's statement keeps its text, its columns and its result.
  uint32_t refetchStmt = 0;
  SCR_BUILT refetch;           // its text and where its markers fall
  uint32_t refetchGroups = 0;  // keys per refetch statement it was built for
  // The seek a dynamic cursor reads rows ahead with, while the refetch
  // statement holds it prepared for aheadSeekRows rows.
  SCR_BUILT aheadSeek;
  uint32_t aheadSeekRows = 0;
  uint32_t paramOps = 0;     // the agent takes terminated text parameters
  uint32_t markerLimit = 0;  // most parameter markers of one statement
  // The text the agent statement was prepared with when the library
  // changed the application's (a static cursor with lock or values
  // concurrency reads its rows in key order, a keyset-driven or dynamic
  // cursor's own statement reads none); empty otherwise.
  std::string execText;
  bool execNoRows = false;  // execText is the one that reads no rows
  // 2: the values kept are the rows as the cursor fetched them, not read
  // by the values query.
  uint32_t valuesMode = 1;
  // The application's markers before the key condition of the values
  // query, and the keys it takes (0: the whole result).
  uint32_t valuesAppBefore = 0;
  uint32_t valuesGroups = 0;
  // The result is read, its values or locks are still to be taken.
  bool concurrencyPending = false;
  int32_t nullCollation = -1;  // SQL_NULL_COLLATION, -1 until asked
  // Whether the data source takes a seek's row limit in its text: -1 until
  // the first seek tells.
  int32_t seekLimit = -1;
  // The result's column descriptions (SCR_LoadResultCols), loaded once.
  SCR_ColDescPtr resultCols;
  SCR_FORWARD forward;
  // The application's own text, the agent's statement holds another
  // (wildcards written out), and the results were used by an execution.
  std::string appText;
  bool rewritten = false;
  bool executed = false;
};

constexpr uint16_t SCR_NOT_SELECT = 0x0200;

// --- names (scrident.cpp) ----------------------------------------------
// A name as written in SQL (plain, or quoted with doubled quotes inside)
// made raw: quotes removed and the case rule applied.
std::string SCR_RawIdent(const std::string& written, const SCR_IDENTS& id);
// A raw name written for SQL, appended to *out; false (nothing appended)
// when it needs quotes and the source has no quote character.
bool SCR_IdentSql(const std::string& raw, const SCR_IDENTS& id, std::string* out);
// A raw name as a catalog search pattern: "_", "%" and the escape itself
// escaped. Without an escape the name goes as it is (rows are filtered to
// the exact name by the caller).
std::string SCR_PatternOf(const std::string& raw, const SCR_IDENTS& id);
// The column's reference in generated SQL: qualified by alias, owner and
// table, or table when the statement has more than one table.
bool SCR_QualifiedColName(uint8_t tables, const SCR_COLDESC& col, const SCR_IDENTS& id,
                          std::string* out);
// A catalog cell's text (any of the text types); false for another type
// or NULL.
bool SCR_CellText(const COLSET* set, uint16_t col, uint32_t row, std::string* out);
// A catalog cell's integer; false for NULL or a type that is not integral.
bool SCR_CellInt(const COLSET* set, uint16_t col, uint32_t row, int64_t* out);
// Copies text into a 509-byte name field; false when it does not fit.
bool SCR_SetName(char* field, const std::string& text);

// --- tables and columns (scrtables.cpp) --------------------------------
// Resolves each table through the catalog; 0, ERR_TABLE_NOT_FOUND,
// ERR_DUPLICATE_TABLE_NAME or the agent's code.
int scs_p_GetTblDescs(SCR_CURSOR* cur, std::vector<SCR_TABLE>* tables);
// Appends the columns of the tables (first..first+count) to out; 0,
// ERR_GENERAL or the agent's code.
int scs_p_GetTblColDescs(SCR_CURSOR* cur, const std::vector<SCR_TABLE>& tables, size_t first,
                         size_t count, bool skipLong, std::vector<SCR_COLDESC>* out);
// Runs a catalog operation on the auxiliary statement and reads its whole
// result, or copies the connection's kept answer to the same request
// (never when `fresh`: the new answer is kept in its place).
int SCR_CatalogRows(SCR_CURSOR* cur, DRV_CatalogSlot slot, const void* args, COLSET* rows,
                    bool fresh = false);
// The names of the table's columns that may hold NULL, as the catalog
// lists them. 0 or the agent's code.
int SCR_NullableColumns(SCR_CURSOR* cur, const SCR_TABLE& t, std::vector<std::string>* out);
// Whether the connection's kept catalog answers and key columns may be
// used: emptied first when its schema counter moved since they were read.
// False when there is no memory for the cache.
bool SCR_SchemaCachesCurrent(JdbcConn* c);
void SCR_CatalogCacheFree(JdbcConn* c);
// A table changed through another connection: the connection's kept
// catalog answers and key columns go, as its own schema change drops them.
void SCR_SchemaChanged(SCR_CURSOR* cur);
// Empties the connection's key-column cache (scrframe.cpp).
void SCR_KeyColCacheClear(JdbcConn* c);
void SCR_ParamDescFromCol(const SCR_COLDESC& col, SCR_PARAMDESC* out);
// Appends one description per column to the generated descriptions.
void SCR_BindParams(SCR_CURSOR* cur, const std::vector<SCR_COLDESC>& cols);

// --- select list (scrselect.cpp) ---------------------------------------
int scs_p_SelectColsGet(SCR_CURSOR* cur, SCR_SQLINFO* info, std::vector<SCR_COLDESC>* out,
                        std::vector<SCR_COLDESC>* unexpanded);
void scs_p_SelectColComplete(SCR_CURSOR* cur);
// Expands wildcards (and adds missing keys with the add-keys switch) in the
// select list; *rewritten says whether the text changed.
int scs_p_SelListAddKeysnXpandWC(SCR_CURSOR* cur, SCR_SQLINFO* info,
                                 const std::vector<SCR_COLDESC>& unexpanded, bool* rewritten);
int scs_p_OrderByGet(SCR_CURSOR* cur, SCR_SQLINFO* info);
void scs_p_MarkOrderedKeys(SCR_CURSOR* cur);
// Lowers the cursor to static read-only; 0 or ERR_NOT_CAPABLE.
int scs_p_ChangeCursorType(SCR_CURSOR* cur);

// Ties the ORDER BY items to the key columns (a key's mark is the first item
// naming it; items take the type of the column they name) and sets the sort
// column count: up to the item naming the last key when every key is named,
// else the items naming no key plus the keys. 0, ERR_GROUP_BY_RESULT,
// ERR_UNION_RESULT or ERR_GENERAL for an item whose column is not found.
// (scrsortcols.cpp)
int SCR_MatchKeyColumns(SCR_CURSOR* cur);

// The ORDER BY item names the column: the same name and, where the item
// says so, the same table (or correlation name) and owner.
bool SCR_OrderItemNames(const SCR_ORDERITEM& o, const SCR_COLDESC& c);
// Every ORDER BY item names a column of the statement's tables (not a
// select-list alias or an expression), so that the statements built with
// another select list can keep the ORDER BY as it stands.
bool SCR_OrdersByColumnsOnly(const SCR_ANALYSIS& a);

// --- keyset (ks.cpp, ksbuild.cpp) --------------------------------------
int KS_GetKeyColDescs(SCR_CURSOR* cur);
// The edits of the application's text. Each takes the analysed statement
// (SCR_AnalyseSQL, 0 or SCR_SQL_MISSING for a missing part).
int KS_BuildKeySelect(SCR_SQLINFO* info, const KS_CURSOR& ks, const SCR_IDENTS& id, SCR_BUILT* out);
// The values query of the optimistic-concurrency cache: the statement
// with every column of its tables as the select list.
int scs_p_BuildValuesSelect(SCR_SQLINFO* info, const std::vector<SCR_COLDESC>& tableCols,
                            uint8_t tableCount, const SCR_IDENTS& id, SCR_BUILT* out);
int KS_BuildKeyWhere(SCR_SQLINFO* info, const KS_CURSOR& ks, const SCR_IDENTS& id, uint32_t groups,
                     SCR_BUILT* out);
int KS_BuildOrderBy(SCR_SQLINFO* info, const KS_CURSOR& ks, const SCR_IDENTS& id,
                    uint32_t existingItems, SCR_BUILT* out);
// The seek SELECT: key columns, then the ORDER BY items that are no key.
// Both seek builders take the first sortColumns ORDER BY items (0: all).
int KS_BuildSeekSelect(SCR_SQLINFO* info, const KS_CURSOR& ks,
                       const std::vector<SCR_ORDERITEM>& order, const SCR_IDENTS& id,
                       SCR_BUILT* out, uint16_t sortColumns = 0);
// The seek SELECT's list alone (keys, then the ORDER BY items that are no
// key) and, when count is given, how many columns it names.
int KS_SeekList(const KS_CURSOR& ks, const std::vector<SCR_ORDERITEM>& order, const SCR_IDENTS& id,
                uint16_t sortColumns, std::string* out, uint16_t* count);
// Whether the result's order is the order of its keys alone: every column
// the seeks follow is a key, and the ORDER BY could take every key.
bool KS_OrderedByKeys(const KS_CURSOR& ks, const std::vector<SCR_ORDERITEM>& order,
                      const SCR_IDENTS& id, uint16_t sortColumns);
// For a result in key order (KS_OrderedByKeys): the condition that keeps
// the rows from the first bound row to the last, both included. 0 or
// ERR_GENERAL.
// The statement with a condition no row meets: its result has the
// statement's columns and no rows. 0 or ERR_GENERAL.
int KS_BuildNoRows(SCR_SQLINFO* info, SCR_BUILT* out);
int KS_BuildKeyRange(SCR_SQLINFO* info, const KS_CURSOR& ks,
                     const std::vector<SCR_ORDERITEM>& order, const SCR_IDENTS& id,
                     uint16_t sortColumns, SCR_BUILT* out);
// The condition that selects the rows after (SQL_FETCH_NEXT) or before
// (SQL_FETCH_PRIOR) the bound key row in the sort order. Mode 1 and 3 take
// the other bound row, 2 and 3 include the bound row itself. nullCollation
// is SQL_NULL_COLLATION's answer; nullBound[r] says whether the bound value
// of the r-th ORDER BY item that is no key is NULL. 0 or ERR_GENERAL.
int KS_BuildSeekWhere(SCR_SQLINFO* info, const KS_CURSOR& ks,
                      const std::vector<SCR_ORDERITEM>& order, const SCR_IDENTS& id,
                      uint16_t orientation, uint16_t mode, uint32_t nullCollation,
                      const std::vector<bool>& nullBound, SCR_BUILT* out, uint16_t sortColumns = 0);
// Puts `add` where the last edit left its mark in the regenerated text;
// `before` is the text before that edit. Never re-reads the text as a
// template.
int SCR_SpliceAtMark(const std::string& before, const char* after, const std::string& add,
                     SCR_BUILT* out);

// --- key parameters (ksparams.cpp) -------------------------------------
// *out := a new one-row set (free with ColSetDestroy) holding `groups`
// groups of the source's columns, group g from source row first + g; when
// the groups outnumber `rows`, and at the last row the source holds, the
// last row taken repeats. Text elements shrink to their value (NUL-terminated
// forms; fixed forms with `trim`) and fixed text gains a terminator with
// `terminate`. With leftOut (one row only), a column NULL there is left
// out and marked 1. 0, ERR_GENERAL (bad arguments, first row past the
// source's rows, groups < rows) or ERR_NO_MEMORY.
int SCR_RowToParams(const COLSET* src, uint32_t first, uint32_t groups, uint32_t rows, COLSET** out,
                    bool terminate, bool trim, std::vector<uint8_t>* leftOut);
// SCR_RowToParams over key rows (none holds NULL) for a block read by key.
int KS_KeyParams(const COLSET* keys, uint32_t first, uint32_t groups, uint32_t rows, COLSET** out,
                 bool terminate);

// *out := a new one-row set of the values of columns `cols` (in that order)
// of src's row `row`, as SCR_RowToParams makes them. ERR_GENERAL for a
// column or row the source does not hold, or ERR_NO_MEMORY.
int SCR_ColumnsToParams(const COLSET* src, const std::vector<uint16_t>& cols, uint32_t row,
                        COLSET** out, bool terminate = false);

// The parameters of a seek query: for each of its markers the value its
// boundCols entry names in the bound row it names. *out is null for a
// query without markers. 0, ERR_GENERAL or ERR_NO_MEMORY.
int KS_SeekParams(const COLSET* bound, const SCR_BUILT& seek, COLSET** out);

// --- row locks (scrlockrows.cpp) ---------------------------------------
// Locks the keyset rows first..first+count-1 (0-based; those past the
// key rows held are left) whose status is SQL_ROW_SUCCESS or
// SQL_ROW_UPDATED by updating their key columns to their own values on the
// auxiliary statement. `keys` holds the key values, one column per key
// column. 0; ERR_ROW_ERROR when a row could not be locked; ERR_GENERAL or the
// agent's code.
int scs_p_LockRows(SCR_CURSOR* cur, const COLSET* keys, const uint16_t* status, uint32_t first,
                   uint32_t count);

// Markers of a statement text, outside literals, quoted names and comments.
uint32_t SCR_MarkerCount(const std::string& text);

// --- keyset fill, block fetch and key re-read --------------------------
// Reads a block of keys with the seek query and makes it the current
// window (SQL_FETCH_NEXT, FIRST, LAST, PRIOR, RELATIVE with offset, or
// ABSOLUTE: the block that starts at row offset, counted from the end when
// negative). 0, ERR_NO_DATA_FOUND when no key came back (or none at an
// absolute row past the end), ERR_FETCH_BEFORE_START when a negative
// absolute row lies before the first, or a code.
int KS_FetchKeyBlock(SCR_CURSOR* cur, uint16_t orientation, int32_t offset);

// KS_ReadKeys forward from row `at` of `from` with the application's
// columns in front of each key: *appCols says how many they are.
int KS_ReadRowsAfter(SCR_CURSOR* cur, const COLSET* from, uint32_t at, uint32_t want, COLSET* out,
                     uint16_t* appCols);

// Reads up to `want` keys with their sort values into *out (empty), nearest
// first: those after (SQL_FETCH_NEXT) or before (SQL_FETCH_PRIOR) row `at`
// of `from` (a block's rows), or from the start (SQL_FETCH_FIRST) or the
// end (SQL_FETCH_LAST) of the result.
int KS_ReadKeys(SCR_CURSOR* cur, uint16_t orientation, const COLSET* from, uint32_t at,
                uint32_t want, COLSET* out);

// Makes `rows` (keys with their sort values, in result order; taken over)
// the current block.
int KS_SetBlock(SCR_CURSOR* cur, COLSET* rows);

// *out := a new two-row set: the first and last key of the current block.
int scs_p_KeysetBounds(SCR_CURSOR* cur, COLSET** out);

// The rows that still exist of keys first.. of `keys`, re-read by key.
// *out is made first and handed out even on failure, holding what was read.
int KS_ReadKeysByKey(SCR_CURSOR* cur, const COLSET* keys, uint32_t first, COLSET** out);

// Inserts an empty row into `rows` for each key of keyset rows
// first..first+count-1 (0-based) that no longer exists, and marks it
// SQL_ROW_DELETED.
int SCR_MarkDeletedRows(SCR_CURSOR* cur, COLSET* rows, uint32_t first, uint32_t count);

// --- optimistic-concurrency values -------------------------------------
// Reads the values of the rowset from keyset row `first` (0-based) in
// `blocks` statements of `blockSize` keys, the last of `lastBlock`; a
// static cursor reads its whole result into the values cache. keyParams,
// when given, is the ready parameter set of a single block (taken over).
int scs_p_GetOptConcColVals(SCR_CURSOR* cur, COLSET* keyParams, uint32_t first, uint32_t blocks,
                            uint32_t blockSize, uint32_t lastBlock);

// Reads the values of the listed rows of the rowset (1-based) again after
// a positioned update.
int scs_p_RefreshOptConcRows(SCR_CURSOR* cur, const uint32_t* rows, uint32_t count);

// --- positioned changes by key (scrposop.cpp, scrpostext.cpp) --------
// Loads the result column descriptions of the cursor's statement once;
// 0 or the agent's code.
int SCR_LoadResultCols(SCR_CURSOR* cur);
// *out := the description of result column n (1-based): 0, ERR_INVALID_COLUMN
// for 0 or a number above the count, ERR_INVALID_ARGUMENT without an output,
// or the loader's code.
int SCR_GetBoundColumn(SCR_CURSOR* cur, uint16_t n, const JdbcColDesc** out);

// The text of a change by key on the first table: SQL_UPDATE sets
// `columns`, SQL_DELETE deletes, SQL_ADD inserts `columns`. For update and
// delete, every key column is compared with a marker; under values
// concurrency each of `compare` follows, " IS NULL" where `isNull` says so.
// ERR_GENERAL when a name cannot be written or there is no table or key.
int SCR_PosText(const SCR_ANALYSIS& a, uint16_t op, const std::vector<std::string>& columns,
                const std::vector<std::string>& compare, const std::vector<uint8_t>& isNull,
                std::string* out);

// The positioned change of SQLSetPos on rowset row `row` (1-based; -2 all
// rows): SQL_POSITION does nothing, SQL_UPDATE / SQL_DELETE / SQL_ADD run
// their statements row by row. Takes over values and columns.
int SCR_PosOpDispatch(SCR_CURSOR* cur, int32_t row, uint16_t op, uint16_t** statuses,
                      uint32_t* count, ColSetPtr values, std::vector<uint16_t> columns);
// What addresses a cursor's current row in a statement of another handle:
// the key condition (" WHERE ..."), its parameters and their descriptions.
struct SCR_CURRENTROW {
  std::string where;
  ColSetPtr params;
  std::vector<SCR_PARAMDESC> descs;
  uint32_t keysetRow = 0;
  bool needsBinding = false;
};
// 0, or 64 when the cursor has no current row that can be changed.
int SCR_CurrentRowKeys(SCR_CURSOR* cur, uint16_t op, SCR_CURRENTROW* out);
// --- positioned statements on forward-only cursors (scrfwdpos.cpp) -----
// Reads the SELECT of a forward-only cursor the application named, for
// the positioned statements that may name it; never fails the execution
// (in scranalyse.cpp).
void scs_p_AnalyseForward(SCR_CURSOR* cur, const char* text);
// The result columns of the key; ERR_FORWARD_NOT_POSITIONABLE when the
// select list lacks one.
int scs_p_ForwardKeyColumns(SCR_ANALYSIS* a);
// True when the cursor keeps the key of the row it stands on.
bool scs_p_ForwardKeeps(const SCR_CURSOR* cur);
// The key of row r of `rows` becomes the cursor's current row; none when
// `rows` is null or holds no row r.
void scs_p_ForwardKeep(SCR_CURSOR* cur, const COLSET* rows, uint32_t r);
// SCR_CurrentRowKeys for a forward-only cursor.
int scs_p_ForwardRowKeys(SCR_CURSOR* cur, SCR_CURRENTROW* out);
// The status keyset row k shows at its next fetch.
void SCR_CurrentRowChanged(SCR_CURSOR* cur, uint32_t k, uint16_t status);
// Positioned statements naming an emulated cursor run by key. True when
// `stmt` holds one; *rc is then the call's answer.
bool SCR_PrepareCurrentOf(SCR_CURSOR* cur, const char* sql, uint32_t* rc);
bool SCR_ExecuteCurrentOf(SCR_CURSOR* cur, COLSET* params, uint16_t count, const JdbcColBind* binds,
                          uint32_t* rc);
// Takes over the values of a held positioned statement; false otherwise.
bool SCR_KeepCurrentOfParams(SCR_CURSOR* cur, COLSET* params);
bool SCR_KeepCurrentOfBinds(SCR_CURSOR* cur, uint16_t count, const JdbcColBind* binds);
void SCR_CurrentOfFree(SCR_CURSOR* cur);

// Update, delete or fetch of the keyset rows the bookmarks name (1-based).
int SCR_BulkOpDispatch(SCR_CURSOR* cur, uint16_t op, const uint64_t* bookmarks, uint32_t rows,
                       ColSetPtr values, std::vector<uint16_t> columns, uint16_t** statuses,
                       uint32_t* count, ROWSTATUS** fetched);

// The rows of a static cursor's cache that the bookmarks name, in their
// order; a bookmark naming no row leaves an empty row with status
// SQL_ROW_NOROW in the fetched rows and SQL_ROW_ERROR in `statuses`.
// 0, ERR_ROW_ERROR when some bookmark named no row, or a code.
int scs_p_FetchStaticByBookmark(SCR_CURSOR* cur, const uint64_t* bookmarks, uint32_t rows,
                                uint16_t* statuses, ROWSTATUS** out);
// The same by key from a keyset cursor's keyset; a row deleted meanwhile
// comes back empty with SQL_ROW_DELETED.
int scs_p_FetchKeysetByBookmark(SCR_CURSOR* cur, const uint64_t* bookmarks, uint32_t rows,
                                uint16_t* statuses, ROWSTATUS** out);
// The same for a mixed cursor, whose bookmarks name keys; its block and
// rowset stay as they were.
int scs_p_FetchMixedByBookmark(SCR_CURSOR* cur, const uint64_t* bookmarks, uint32_t rows,
                               uint16_t* statuses, ROWSTATUS** out);

// --- bookmarks of added rows (scraddmarks.cpp) -------------------------
// Before an SQL_ADD of `rows` rows: none has a bookmark yet.
void scs_p_AddedBegin(SCR_CURSOR* cur, uint32_t rows);
// Row j of `values` (columns `names`) was added: it gets a bookmark when
// its key was among the values and the cursor names rows by key.
void scs_p_AddedRow(SCR_CURSOR* cur, const COLSET* values, const std::vector<std::string>& names,
                    uint32_t j);
// The bookmark of row j of the last SQL_ADD, 0 when it has none.
uint32_t scs_p_AddedMark(const SCR_CURSOR* cur, uint32_t j);
// The added row `mark` names, read by its key and appended to *row: 0,
// ERR_NO_DATA_FOUND when the bookmark names no added row, or a code.
int scs_p_FetchAdded(SCR_CURSOR* cur, uint64_t mark, COLSET* row);
// The key of the added row `mark` names (one row of the key columns), or
// null when it names none.
const COLSET* scs_p_AddedKey(const SCR_CURSOR* cur, uint64_t mark);
// The rowset a bookmark fetch reaches at an added row: that row alone, or
// an empty one with SQL_ROW_DELETED when it is gone. ERR_NO_DATA_FOUND
// when the bookmark names no added row.
int scs_p_FetchAddedRowset(SCR_CURSOR* cur, ROWSTATUS* rs, uint64_t mark);

// --- mixed cursor bookmarks (scrmixedmark.cpp) -------------------------
// *out := the bookmark of row n (0-based) of a mixed cursor's rowset.
int scs_p_MixedBookmark(const SCR_CURSOR* cur, uint32_t n, uint32_t* out);
// Makes the block start at the key bookmark `mark` names: 0,
// ERR_INVALID_BOOKMARK for a bookmark that names none, or a code.
int scs_p_MixedMarkBlock(SCR_CURSOR* cur, uint64_t mark);
// The row of the current block that holds the key bookmark `mark` names,
// or -1.
int64_t scs_p_MixedMarkRow(const SCR_CURSOR* cur, uint64_t mark);

// --- prepare (scranalyse.cpp) ------------------------------------------
void SCR_AnalysisFree(SCR_CURSOR* cur);
// ERR_NOT_SELECT_RESULT for a statement that is not a SELECT,
// ERR_GROUP_BY_RESULT for GROUP BY, ERR_UNION_RESULT for UNION, else 0.
int SCR_KeysetError(const SCR_CURSOR* cur);
// 87 join, 88 GROUP BY, 89 UNION, 103 scalar aggregate, else 0: a result
// that cannot be changed by key.
int SCR_ConcurrencyError(const SCR_CURSOR* cur);

// The column adjustment from the analysed select list, lent to the agent
// (AGT_SetColumnAdjust) for its column attributes.
int SCR_AdjustColDesc(JdbcStmt* stmt, uint32_t column, JdbcColDesc* desc, uint16_t mask,
                      uint16_t stride, uint16_t count, ATTR_ENTRY* attrs);

#endif
