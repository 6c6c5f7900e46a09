// The agent's catalog operations (slots 25-35): each asks the connection's
// DatabaseMetaData for a ResultSet, keeps it as the statement's result,
// describes it with the fixed ODBC column table of its function and leaves
// on the statement the settings DRV_Fetch honours (catalog kind, row hook,
// fetch column limit, single target column, requested type).
#ifndef QMR_DRV_JDBC_J_CATALOG_H
#define QMR_DRV_JDBC_J_CATALOG_H

#include <jni.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/drv_catalog.h"
#include "drv_jdbc/j-records.h"

// Catalog kinds (JdbcStmt::catalogKind).
enum : uint32_t {
  CAT_KIND_NONE = 0,
  CAT_KIND_TYPE_INFO = 1,
  CAT_KIND_PROCEDURE_COLUMNS = 2,
  CAT_KIND_TABLES = 3,
  CAT_KIND_STATISTICS = 4,
  CAT_KIND_PROCEDURES = 5,
  CAT_KIND_COLUMNS = 6,
  CAT_KIND_SPECIAL_COLUMNS = 7,
  CAT_KIND_PRIMARY_KEYS = 8,
  CAT_KIND_FOREIGN_KEYS = 9,
  CAT_KIND_TABLE_PRIVILEGES = 10,
  CAT_KIND_COLUMN_PRIVILEGES = 11,
  CAT_KIND_LAST = 11
};

// The column table of a kind as descriptions (count in *count), built for
// a statement whose wide-type flag is `wide`. `javaTypes` holds the JDBC
// types of the result's columns (empty when its metadata could not be read):
// a boolean-valued column of the ODBC table becomes a one-byte column when
// its JDBC counterpart is not SMALLINT. Null for an unknown kind.
JdbcColDesc* catColumns(uint32_t kind, uint32_t wide, const std::vector<int32_t>& javaTypes,
                        uint16_t* count);

// How SQLTables' four arguments choose the listing: bit 1 catalogs, bit 2
// schemas, bit 8 table types, 0 an ordinary table search.
uint32_t catEnumKind(const char* catalog, const char* schema, const char* table, const char* types);

// The elements of a table-type list as getTables receives them: split at
// every comma, blanks around each element trimmed, then one leading and one
// trailing quote (' or ") taken off, and any apostrophe left inside. An
// empty or absent list gives none.
std::vector<std::string> catSplitTypes(const char* types);

// One value of a row-buffer row, for the type rewrite.
struct CatCell {
  COLSET_COL* col = nullptr;
  uint32_t row = 0;
  bool IsNull() const;
  void SetNull(bool null) const;
  bool Holds(uint32_t marker) const;     // compared at the column's width
  int32_t Int() const;                   // the integer forms; 0 for others
  void SetInt(int32_t v) const;          // stores and marks present
  void SetText(const char* text) const;  // 8-bit or UTF-16 by the column's form
  std::string Ascii() const;             // the text, any character beyond ASCII as '?'; "" for NULL
};

// What catFixType rewrites; an absent field is a null pointer.
struct CatTypeFields {
  const CatCell* dataType = nullptr;
  const CatCell* typeName = nullptr;
  const CatCell* columnSize = nullptr;
  const CatCell* bufferLength = nullptr;
  const CatCell* sqlDataType = nullptr;
  const CatCell* datetimeSub = nullptr;
  const CatCell* octetLength = nullptr;
  const CatCell* decimalDigits = nullptr;
  // Read for what it says of the type, never rewritten (the type
  // information's COLUMN_SIZE, whose rewrite comes after).
  const CatCell* sizeFact = nullptr;
  const CatCell* radix = nullptr;  // NUM_PREC_RADIX
};
struct CatTypeRules {
  uint32_t jet = 0;
  uint32_t odbcVersion = 2;
  uint32_t wide = 0;
  int32_t longVarcharToVarchar = -1;  // PLCHR2VCHR
  // Rows of SQLGetTypeInfo: they carry no sizes, and a type ODBC has no
  // counterpart of is listed under none.
  bool typeInfo = false;
};
constexpr uint32_t CAT_NO_VALUE32 = 0xFFFFFFFFu;
constexpr uint32_t CAT_NO_VALUE16 = 65535;

// The rules of the statement's connection.
CatTypeRules catTypeRulesOf(const JdbcStmt* s);

// Turns a row's JDBC type (in DATA_TYPE) into ODBC terms.
void catFixType(const CatTypeFields& f, const CatTypeRules& r);

// The ODBC type catFixType reports for a JDBC type; `unsized` says the row's
// COLUMN_SIZE is present and 0.
int32_t catOdbcType(int32_t jdbcType, const CatTypeRules& r, bool unsized);

// One form of an SQL type for the server type table and its lookups: the
// ODBC 3 date and time codes and the narrow character codes, so that a
// wide or ODBC 2 description finds the row an ODBC 3 narrow one does.
int16_t catTypeKey(int32_t sqlType);

// Whether a getTypeInfo row of JDBC type jdbcType and name typeName answers
// the statement's requested type: compared with the type the row will
// report (wide flag, JET, PLCHR2VCHR and the ODBC version applied).
// `size` is the row's COLUMN_SIZE, -1 when it has none.
bool catTypeInfoWanted(const JdbcStmt* s, int32_t jdbcType, const char* typeName = "",
                       int64_t size = -1);

// The rest of a type information row after catFixType: a wide connection's
// text rows under the narrow type asked for, and date, time and long types
// with ODBC's COLUMN_SIZE and (dates and times) MINIMUM_SCALE and
// MAXIMUM_SCALE.
void catFixTypeInfoRow(const JdbcStmt* s, const CatCell& type, const CatCell& sqlType,
                       const CatCell& size, const CatCell& minScale, const CatCell& maxScale);

// What ODBC defines of a type information row where the JDBC driver gives
// nothing: COLUMN_SIZE of a type of fixed size, CREATE_PARAMS of the
// character and exact numeric types. `type` holds the row's ODBC type,
// `jdbcType` the JDBC type it was rewritten from.
void catFillTypeInfoGaps(int32_t jdbcType, const CatCell& type, const CatCell& size,
                         const CatCell& createParams);

// What ODBC fixes of a type information row after the rewrite (`type` holds
// its ODBC type): the size of a number or truth value in decimal digits,
// NUM_PREC_RADIX 10 for numbers, and NUM_PREC_RADIX, UNSIGNED_ATTRIBUTE and
// the scales NULL where they do not apply.
struct CatTypeInfoCells {
  const CatCell* type;
  const CatCell* size;
  const CatCell* unsignedAttr;
  const CatCell* minScale;
  const CatCell* maxScale;
  const CatCell* radix;
};
void catTypeInfoFacts(int32_t jdbcType, const char* name, const CatTypeInfoCells& c);

// The row hooks DRV_Fetch runs after each block of a catalog result.
uint32_t catColumnsRowHook(JdbcStmt* s, COLSET* set);
uint32_t catProcColumnsRowHook(JdbcStmt* s, COLSET* set);
uint32_t catSpecialColumnsRowHook(JdbcStmt* s, COLSET* set);
uint32_t catTypeInfoRowHook(JdbcStmt* s, COLSET* set);
uint32_t catStatisticsRowHook(JdbcStmt* s, COLSET* set);

// SQLColumns' row `row` of set, just read from the JDBC result rs: a
// DISTINCT column takes the base type the driver gives it (getColumns'
// SOURCE_DATA_TYPE) before the rewrite. 0; a driver without that column
// leaves the row as it is.
uint32_t catColumnsBaseType(JdbcStmt* s, jobject rs, COLSET* set, uint32_t row);

// A catalog result in ODBC's order: reads the statement's freshly opened
// result whole (through DRV_Fetch: rewritten, filtered and with the
// connection's settings applied), sorts it stably by the 1-based columns of
// `keys` (NULL first) and keeps it on the statement for DRV_Fetch; 0 or the
// code of the failed fetch. `rank`, when given, orders rows equal in the
// keys (lower first).
using CatRowRank = int (*)(const COLSET& set, uint32_t row);
uint32_t catKeepRows(uint32_t stmt, const std::vector<uint16_t>& keys, CatRowRank rank = nullptr);
// A wide connection's type information in full lists its text types under
// the narrow codes too, as SQLGetTypeInfo of a narrow code finds them:
// a copy of each kept wide text row with the narrow DATA_TYPE and
// SQL_DATA_TYPE, in ODBC's order.
void catKeepNarrowTextRows(JdbcStmt* s);
// Adds to the rows `into` keeps those of the statement's kept rows whose
// keys no row of `into` has, with the 16-bit column `column` (1-based) set
// to `value`, sorts them again and keeps the whole on the statement
// (SQLProcedures: a JDBC driver's functions beside its procedures).
void catKeepAddedRows(JdbcStmt* s, std::shared_ptr<void> into, size_t column, int16_t value);
// DRV_Fetch of a statement holding kept rows: the next `rows` of them.
uint32_t catFetchKept(JdbcStmt* s, uint16_t rows, COLSET* set);

// Clears what a catalog result leaves on a statement (kind, hook, limits,
// the procedure numbering).
void catClearStmt(JdbcStmt* s);

extern "C" {
uint32_t DRV_DDColumnPrivileges(uint32_t stmt, const void* args);  // 25
uint32_t DRV_DDColumns(uint32_t stmt, const void* args);           // 26
uint32_t DRV_DDForeignKeys(uint32_t stmt, const void* args);       // 27
uint32_t DRV_DDPrimaryKeys(uint32_t stmt, const void* args);       // 28
uint32_t DRV_DDProcedureColumns(uint32_t stmt, const void* args);  // 29
uint32_t DRV_DDProcedures(uint32_t stmt, const void* args);        // 30
uint32_t DRV_DDSpecialColumns(uint32_t stmt, const void* args);    // 31
uint32_t DRV_DDStatistics(uint32_t stmt, const void* args);        // 32
uint32_t DRV_DDTablePrivileges(uint32_t stmt, const void* args);   // 33
uint32_t DRV_DDTables(uint32_t stmt, const void* args);            // 34
uint32_t DRV_DDGetTypeInfo(uint32_t stmt, int16_t sqlType);        // 35
}

#endif
