// Statement analysis of the cursor library: SCR_AnalyseSQL parses one
// statement into an SCR_SQLINFO, regenerates its normalised text and, for a
// SELECT, sums it up in analysis flags. Around it: the queries (tables,
// select items, ORDER BY items) and the edits that put SCR_SQL_MARK where the
// keyset and positioned-statement builders insert text of their own.
#ifndef QMR_SQLAN_SQLANALYSE_H
#define QMR_SQLAN_SQLANALYSE_H

#include <cstdint>

#include "sqlan/ptree.h"
#include "sqlan/sqlnodes.h"
#include "util/garray.h"

// Statement kinds (the root node's type).
enum : uint32_t {
  SCR_KIND_NONE = 0xFFFFFFFFu,  // record cleared
  SCR_KIND_OTHER = SQLN_OTHER_STATEMENT,
  SCR_KIND_POS_DELETE = SQLN_POSITIONED_DELETE,
  SCR_KIND_DELETE = SQLN_SEARCHED_DELETE,
  SCR_KIND_INSERT = SQLN_INSERT,
  SCR_KIND_CALL = SQLN_CALL,
  SCR_KIND_SELECT = SQLN_SELECT,
  SCR_KIND_POS_UPDATE = SQLN_POSITIONED_UPDATE,
  SCR_KIND_UPDATE = SQLN_SEARCHED_UPDATE,
};

// Analysis flags.
enum : uint16_t {
  SCR_SQL_WHERE = 0x0002,
  SCR_SQL_ORDERBY = 0x0004,
  SCR_SQL_GROUPBY = 0x0008,
  SCR_SQL_UNION = 0x0010,
  SCR_SQL_MULTITABLE = 0x0020,
  SCR_SQL_ORDERBY_POS = 0x0040,
  SCR_SQL_AGGREGATE = 0x0080,
  SCR_SQL_OUTERJOIN = 0x0100,
  SCR_SQL_FOR_UPDATE = 0x0200,
};

// Result codes.
enum : int {
  SCR_SQL_OK = 0,
  SCR_SQL_MISSING =
      15,  // the tree lacks a needed part, a name does not fit, or an argument is null
  SCR_SQL_NOMEM = 16,
  SCR_SQL_SYNTAX = 68,
};

struct SCR_SQLINFO {
  char* text;     // the analysed statement, leading white space removed
  char* result;   // after a failed parse: scanned text followed by "^"
  char* errmsg;   // after a failed parse: the error message
  PT_NODE* tree;  // parse tree (null after a failed parse)
  uint32_t kind;  // SCR_KIND_NONE when cleared, 0 during a parse
  uint16_t flags;
  // The source's lexical forms (SQLLEX_*, util/sqllex.h): set by the holder
  // before SCR_AnalyseSQL; 0 from SCR_InitSQLInfo, kept by SCR_FreeSQLInfo.
  uint32_t forms;
};

// One table reference; four owned strings (SCR_FreeTableItem frees them).
struct SCR_TABLEREF {
  char* qualifier;
  char* owner;
  char* table;
  char* alias;
};

constexpr unsigned SCR_NAME_SIZE = 509;  // 508 bytes and a NUL
constexpr unsigned SCR_ITEMTEXT_SIZE = 2036;

// The cursor library's column record.
struct SCR_COLDESC {
  char name[SCR_NAME_SIZE];
  char table[SCR_NAME_SIZE];
  char alias[SCR_NAME_SIZE];
  char owner[SCR_NAME_SIZE];
  char qualifier[SCR_NAME_SIZE];
  int16_t sqlType;
  uint32_t columnSize;
  uint16_t decimalDigits;
  uint8_t mark;   // the ORDER BY item naming this key column, 1-based
  uint32_t kind;  // SCR_COL_* below
};

enum : uint32_t {
  SCR_COL_ALL = 1,        // *
  SCR_COL_TABLE_ALL = 2,  // t.*
  SCR_COL_EXPR = 3,
  SCR_COL_COLUMN = 4,
};

// The cursor library's ORDER BY record.
struct SCR_ORDERITEM {
  char text[SCR_ITEMTEXT_SIZE];
  char name[SCR_NAME_SIZE];
  char table[SCR_NAME_SIZE];
  char alias[SCR_NAME_SIZE];
  char owner[SCR_NAME_SIZE];
  char qualifier[SCR_NAME_SIZE];
  uint32_t descending;
  uint8_t position;  // select-list position (1..255) of an item given by number
  uint16_t sqlType;
  uint32_t columnSize;
  uint16_t decimalDigits;
};

void SCR_InitSQLInfo(SCR_SQLINFO* info);
void SCR_FreeSQLInfo(SCR_SQLINFO* info);

// Parses text into info. parseOnly 0 runs the analysis passes of a SELECT;
// noQualifier is passed on to SCR_TablesGet. 0, SCR_SQL_SYNTAX,
// SCR_SQL_MISSING or SCR_SQL_NOMEM.
int SCR_AnalyseSQL(SCR_SQLINFO* info, const char* text, uint32_t parseOnly, uint32_t noQualifier);

// Appends one SCR_TABLEREF per table reference of the outer query.
int SCR_TablesGet(SCR_SQLINFO* info, GROW_ARRAY* tables, uint32_t noQualifier);
// ARR_Free callback for SCR_TABLEREF items.
void SCR_FreeTableItem(void* item);
// Appends one SCR_COLDESC per item of the outer select list.
int SCR_ExpandSelectList(SCR_SQLINFO* info, GROW_ARRAY* columns);
// Appends one SCR_ORDERITEM per item of the statement's ORDER BY.
int SCR_ResolveOrderBy(SCR_SQLINFO* info, GROW_ARRAY* items);
// Replaces each ORDER BY position by the text of the SCR_ORDERITEM with that
// position (items: GROW_ARRAY of SCR_ORDERITEM), then regenerates.
int SCR_SelectColumns(SCR_SQLINFO* info, GROW_ARRAY* items);
// Reverses the direction of every ORDER BY item; `nulls` (NULLS FIRST or
// NULLS LAST), when given, follows each.
int SCR_OrderByKeys(SCR_SQLINFO* info, const char* nulls = nullptr);
// Edits that put SCR_SQL_MARK into the statement text.
int SCR_ReplaceSelectList(SCR_SQLINFO* info);
int SCR_AppendWhere(SCR_SQLINFO* info);
int SCR_AppendCondition(SCR_SQLINFO* info);
// Column, table and owner of a column reference's text into the record's name
// fields (alias and qualifier emptied). 0, or SCR_SQL_MISSING when a part does not
// fit its field (the record is then unchanged).
int SCR_SplitColumnName(PT_NODE* node, SCR_COLDESC* col);

#endif
