// Row buffers (COLSET) and result-column descriptions (JdbcColDesc).
//
// A COLSET carries fetched values, or parameter values, from the agent to
// the conversion code: one COLSET_COL per column, each an array of
// fixed-size elements (row r at data + r * elem_size) with a 16-bit
// indicator per row. The element layout of a column is named by its value
// type code (the COLSET_VT_* constants below).
#ifndef QMR_UTIL_COLSET_H
#define QMR_UTIL_COLSET_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "util/errcodes.h"

// ---------------------------------------------------------------------------
// Value type codes of a row-buffer column, and the element each one stores.
// ColSetTypeSize(code, length) gives the element size in bytes.
enum : uint32_t {
  COLSET_VT_NONE = 0,         // no value; 1 byte, as the core's row-width estimate counts it
  COLSET_VT_CHAR = 1,         // fixed-width 8-bit text, length bytes
  COLSET_VT_BIT = 2,          // u8 0 or 1
  COLSET_VT_TINYINT = 3,      // i8
  COLSET_VT_SMALLINT = 4,     // i16
  COLSET_VT_INTEGER = 5,      // i32
  COLSET_VT_UTINYINT = 6,     // u8
  COLSET_VT_USMALLINT = 7,    // u16
  COLSET_VT_UINTEGER = 8,     // u32
  COLSET_VT_REAL = 9,         // float
  COLSET_VT_DOUBLE = 10,      // double
  COLSET_VT_DATE = 11,        // {i16 year; u16 month; u16 day} (SQL_DATE_STRUCT)
  COLSET_VT_TIME = 12,        // SQL_TIME_STRUCT, u16 0, u32 fraction (nanoseconds), u32 offset
  COLSET_VT_TIMESTAMP = 13,   // SQL_TIMESTAMP_STRUCT (six u16, u32 fraction), u32 offset
  COLSET_VT_BINARY = 14,      // fixed-width bytes, length bytes
  COLSET_VT_LONGCHAR = 15,    // COLSET_LONG: 8-bit text out of line, length in bytes
  COLSET_VT_LONGBINARY = 16,  // COLSET_LONG: bytes out of line, length in bytes
  COLSET_VT_NTS = 17,         // NUL-terminated 8-bit text of up to length bytes
  COLSET_VT_CHAR8 = 18,       // u8 length, then the text
  COLSET_VT_CHAR16 = 19,      // u16 length, then the text
  COLSET_VT_CHAR32 = 20,      // u32 length, then the text
  COLSET_VT_BINARY8 = 21,     // u8 length, then the bytes
  COLSET_VT_BINARY16 = 22,    // u16 length, then the bytes
  COLSET_VT_BINARY32 = 23,    // u32 length, then the bytes
  COLSET_VT_WCHAR = 24,       // fixed-width UTF-16, length characters
  COLSET_VT_WNTS = 25,        // NUL-terminated UTF-16, length characters and the NUL
  COLSET_VT_LONGWCHAR = 26,   // COLSET_LONG: UTF-16 out of line, length in characters
  COLSET_VT_WCHAR32 = 27,     // u32 character count, then the UTF-16 characters
  COLSET_VT_LAST = 27
};

// Dates and timestamps (11, 13) hold the years ODBC's structures take,
// 1 to 9999, and beyond them what their text needs: years from
// COLSET_YEAR_LOWEST to 0 are the years before Christ (0 is 1 BC), years
// from 10000 to COLSET_YEAR_HIGHEST those after 9999, and the two ends the
// database's infinities. A year past those (to 32 bits) has
// COLSET_MONTH_WIDE in its month, which no C type takes: year keeps its low
// 16 bits, month (bits 4-11) and day (bits 5-12) its high 16 (see
// ColSetPutDate). A year before 1 with COLSET_MONTH_SIGNED is written as
// its database writes it, a signed year ("-0043-03-15"), else with the era
// ("0044-03-15 BC"). A value beyond all of that has month 0. A time (12)
// or timestamp with hour 24 is the end of a day.
constexpr int16_t COLSET_YEAR_INFINITY = 32767;
constexpr int16_t COLSET_YEAR_MINUS_INFINITY = -32768;
constexpr int16_t COLSET_YEAR_HIGHEST = 32766;
constexpr int16_t COLSET_YEAR_LOWEST = -32766;
constexpr uint16_t COLSET_MONTH_WIDE = 0x8000;
constexpr uint16_t COLSET_MONTH_SIGNED = 0x4000;

// The offset from UTC of a time or timestamp with a zone (PostgreSQL's
// timetz, and timestamptz in the session's zone): 0 for none, else its
// seconds east (a local mean time has them) plus COLSET_ZONE_BIAS.
constexpr uint32_t COLSET_ZONE_NONE = 0;
constexpr int32_t COLSET_ZONE_BIAS = 0x40000;

// An offset's text as PostgreSQL writes and reads it: "+05:30", "-03",
// "+00:53:28" (minutes and seconds only when not 0); empty for none.
std::string ColSetZoneText(uint32_t zone);

// Stores the astronomical year y (0 is 1 BC), month m and day d in the
// three fields of a date element; month 0 when y needs more than 32 bits.
inline void ColSetPutDate(int64_t y, unsigned m, unsigned d, int16_t* year, uint16_t* month,
                          uint16_t* day) {
  if (y >= COLSET_YEAR_LOWEST && y <= COLSET_YEAR_HIGHEST) {
    *year = static_cast<int16_t>(y);
    *month = static_cast<uint16_t>(m);
    *day = static_cast<uint16_t>(d);
  } else if (y >= INT32_MIN && y <= INT32_MAX) {
    const auto bits = static_cast<uint32_t>(static_cast<int32_t>(y));
    const uint32_t high = bits >> 16;
    *year = static_cast<int16_t>(static_cast<uint16_t>(bits & 0xFFFFu));
    *month = static_cast<uint16_t>(COLSET_MONTH_WIDE | (high & 0xFFu) << 4 | (m & 0xFu));
    *day = static_cast<uint16_t>((high >> 8) << 5 | (d & 0x1Fu));
  } else {
    *year = 0;
    *month = 0;
    *day = 0;
  }
}

// The astronomical year, month and day of a date element's fields.
inline void ColSetGetDate(int16_t year, uint16_t month, uint16_t day, int64_t* y, unsigned* m,
                          unsigned* d) {
  if ((month & COLSET_MONTH_WIDE) == 0) {
    *y = year;
    *m = month & ~COLSET_MONTH_SIGNED;
    *d = day;
    return;
  }
  const uint32_t high = (month >> 4 & 0xFFu) | static_cast<uint32_t>(day >> 5 & 0xFFu) << 8;
  *y = static_cast<int32_t>(high << 16 | static_cast<uint16_t>(year));
  *m = month & 0xFu;
  *d = day & 0x1Fu;
}

// Element of the long types 15, 16 and 26: the column owns `value`
// (allocated with malloc), which ColSetColumnFree releases.
struct COLSET_LONG {
  uint32_t length;  // bytes for 15 and 16, UTF-16 characters for 26
  void* value;
};

// Row indicators. Any other value means that a value is present (for the
// length-prefixed and NUL-terminated forms the element itself carries the
// length).
constexpr uint16_t COLSET_IND_NULL = 0xFFFF;      // NULL; every row starts so
constexpr uint16_t COLSET_IND_DAE = 0xFFFE;       // the agent asks for the value at execution
constexpr uint16_t COLSET_IND_DEFERRED = 0xFFFD;  // held by the agent, fetched on demand
constexpr uint16_t COLSET_IND_SKIP = 0xFFFC;      // row to skip

// ColSetTypeSize's answer when the element would not fit in 32 bits;
// ColSetColumnAlloc refuses a column of that size.
constexpr uint32_t COLSET_SIZE_TOO_LARGE = 0xFFFFFFFFu;

struct COLSET_COL {
  uint32_t type;        // value type code, COLSET_VT_*
  uint32_t elem_size;   // bytes per row
  uint16_t* ind;        // one indicator per row; null when no rows are held
  unsigned char* data;  // rows * elem_size + 1 bytes, zeroed at allocation
};

struct COLSET {
  uint16_t col_capacity = 0;  // entries in cols
  uint32_t row_capacity = 0;  // rows each used column has storage for (set by ColSetSetRows)
  uint16_t cols_used = 0;     // leading columns in use; set by the caller before ColSetSetRows
  uint32_t rows_held = 0;     // rows filled (set by the fetch or the parameter code)
  COLSET_COL* cols = nullptr;
};

// Empties the set (a set that already holds columns has them freed first, so
// it must be zeroed or valid) and gives it ncols zeroed columns (no array for
// 0), no rows and none in use. 0 or ERR_NO_MEMORY (the set is then empty).
int ColSetInit(COLSET* set, uint16_t ncols);

// Gives a column whose type and elem_size are set storage for rows rows: the
// data zeroed, every indicator COLSET_IND_NULL. For 0 rows both pointers become
// null. Any storage the column held before is not freed. 0 or ERR_NO_MEMORY
// (both pointers null; also, without asking the allocator, when the data would
// exceed 1 TiB or elem_size is COLSET_SIZE_TOO_LARGE).
int ColSetColumnAlloc(COLSET_COL* col, uint32_t rows);

// Frees the column's storage, first the out-of-line values of the long types
// in its first rows rows; clears both pointers.
void ColSetColumnFree(COLSET_COL* col, uint32_t rows);

// Frees every column's storage (with the set's row capacity) and the column
// array; zeroes the counts. The record itself stays with its holder.
void ColSetFreeColumns(COLSET* set);

// Storage for rows rows in every used column, the storage held before being
// freed first. ERR_NO_MEMORY without any allocation when cols_used exceeds
// col_capacity; ERR_NO_MEMORY when memory runs out, with no used column left
// holding storage and row_capacity 0. For 0 rows only the old storage goes.
int ColSetSetRows(COLSET* set, uint32_t rows);

// Reads row's element of a column whose type holds a binary integer (BIT as
// 0 or 1). False for any other type, whose callers read the value's text;
// the caller has checked the indicator for NULL.
bool ColSetElemInt(const COLSET_COL& col, uint32_t row, int64_t* out);

// Element size in bytes of value type code for the declared length
// (characters for the UTF-16 forms, bytes otherwise); the length-prefixed
// forms are rounded up to their prefix's alignment. 0 for an unknown code,
// COLSET_SIZE_TOO_LARGE when the size does not fit in 32 bits.
//
//   1, 14 -> length          17, 18, 21 -> length + 1
//   2, 3, 6 -> 1             19, 22 -> length + 2, to a multiple of 2
//   4, 7 -> 2                20, 23 -> length + 4, to a multiple of 4
//   5, 8, 9 -> 4             24 -> 2 * length
//   10 -> 8                  25 -> 2 * length + 2
//   11 -> 6, 12 -> 12        27 -> 2 * length + 4, to a multiple of 4
//   13 -> 16                 15, 16, 26 -> sizeof(COLSET_LONG)
//   0 -> 1 (as the core's fetch-block estimate counts it)
//
// The agent's column shapes already count a terminator or prefix in the
// length they pass (precision + 1 for 17 and 25, binary size + 4 for 23), so
// those elements carry a little slack; writers must still leave room for the
// NUL of 17 and 25 themselves: a 25 element holds size / 2 - 1 characters.
uint32_t ColSetTypeSize(uint32_t code, uint32_t length);

struct JdbcColDesc;

// Shapes the set after count descriptions for rows rows: each column's type
// is the description's value_type, its size ColSetTypeSize(value_type,
// elem_len). 0 or ERR_NO_MEMORY.
int ColSetBuild(const JdbcColDesc* descs, uint16_t count, uint32_t rows, COLSET* set);

// ---------------------------------------------------------------------------
// Description of one result column or one parameter.

// The four owned texts, by index into JdbcColDesc::texts. Index i answers
// bit (1 << i) of the cursor library's name mask. Each may be null.
enum : unsigned {
  COLDESC_LABEL = 0,    // the whole column label (name holds its first 40 characters)
  COLDESC_TABLE = 1,    // table name
  COLDESC_SCHEMA = 2,   // schema (owner) name
  COLDESC_CATALOG = 3,  // catalog (qualifier) name
  COLDESC_TEXTS = 4
};

// Parts of JdbcColDesc::flags.
constexpr uint32_t COLDESC_NULLABLE_MASK = 0x0F;  // ODBC nullability
constexpr uint32_t COLDESC_UPDATE_SHIFT = 4;
constexpr uint32_t COLDESC_UPDATE_MASK = 0xF0;  // updatability code, bits 4-7 (0-3 used)
constexpr uint32_t COLDESC_UPDATE_UNSET = 0;    // not known
constexpr uint32_t COLDESC_UPDATE_READONLY = 1;
constexpr uint32_t COLDESC_UPDATE_WRITABLE = 2;
constexpr uint32_t COLDESC_UPDATE_UNKNOWN = 3;  // the source could not tell

constexpr size_t COLDESC_NAME_SIZE = 48;
constexpr size_t COLDESC_NAME_CHARS = 40;  // characters of the label kept inline

struct JdbcColDesc {
  char name[COLDESC_NAME_SIZE];  // NUL-terminated; parameter descriptions carry "*I", "*O", "*B",
                                 // "*U"
  char* texts[COLDESC_TEXTS];    // owned (malloc); see COLDESC_*
  int32_t sql_type;              // described SQL type (a 16-bit value)
  int32_t delivered_type;        // SQL type delivered (wide types when the connection wants them)
  uint32_t flags;                // nullability and updatability, see COLDESC_* masks
  uint32_t display_size;
  uint16_t scale;
  uint32_t precision;   // precision or column length
  uint32_t value_type;  // row-buffer value type code, COLSET_VT_*
  uint32_t elem_len;    // length handed to ColSetTypeSize
};
static_assert(sizeof(JdbcColDesc) == 112, "JdbcColDesc keeps its 112-byte layout");

inline uint32_t ColDescNullable(const JdbcColDesc* d) { return d->flags & COLDESC_NULLABLE_MASK; }
inline uint32_t ColDescUpdatable(const JdbcColDesc* d) {
  return (d->flags & COLDESC_UPDATE_MASK) >> COLDESC_UPDATE_SHIFT;
}
inline void ColDescSetUpdatable(JdbcColDesc* d, uint32_t code) {
  d->flags =
      (d->flags & ~COLDESC_UPDATE_MASK) | ((code << COLDESC_UPDATE_SHIFT) & COLDESC_UPDATE_MASK);
}
inline const char* ColDescText(const JdbcColDesc* d, unsigned which) {
  return which < COLDESC_TEXTS ? d->texts[which] : nullptr;
}

// Stores a copy of text (or null) as owned text which, freeing the old one.
// 0, ERR_NO_MEMORY when the copy cannot be made (the old text stays),
// ERR_INVALID_ARGUMENT for a bad index.
int ColDescSetText(JdbcColDesc* d, unsigned which, const char* text);

// Stores text (or null) as the description's name: its first 40 characters
// inline (never cutting a UTF-8 sequence) and a copy of the whole as the
// label. 0 or ERR_NO_MEMORY (the name is set, the label left unchanged).
int ColDescSetName(JdbcColDesc* d, const char* text);

// count zeroed records (at least one), or null when memory runs out.
JdbcColDesc* ColDescAlloc(uint16_t count);

// Frees each record's owned texts, then the array. Null is ignored.
void ColDescFree(JdbcColDesc* descs, uint16_t count);

#endif
