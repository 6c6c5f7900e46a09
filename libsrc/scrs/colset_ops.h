// Row and column operations on row buffers (COLSET) that the cursor library
// keeps its rows, keys, parameter values and concurrency values in. They
// build on the basic operations of util/colset.h.
//
// Vocabulary: a set's "column count" is cols_used, its "row count"
// rows_held; rows and columns count from 0. Every element of a long column
// (types 15, 16, 26) owns its out-of-line value; the operations here keep it
// so: a value is either duplicated or handed over, never shared.
//
// Results are internal codes: 0; ERR_GENERAL for bad
// arguments or shapes that do not match, always before anything changed;
// ERR_NO_MEMORY. An operation that builds a new set frees it again
// on failure; one that works in place may leave the columns it already
// handled changed.
//
// Sets these functions make or free (ColSetCreate, ColSetAlloc,
// ColSetReverseRows) are allocated with new and freed with ColSetDestroy.
#ifndef QMR_SCRS_COLSET_OPS_H
#define QMR_SCRS_COLSET_OPS_H

#include <cstdint>

#include "util/colset.h"
#include "util/errcodes.h"
#include "util/owners.h"

// Inserts a NULL row at n (n at most the row count): the rows from n on move
// down one place. 15 for a null set, one without columns, n past the row
// count, or a set whose row count already equals its row capacity.
int ColSetInsertRow(COLSET* set, uint32_t n);

// *equal := 1 when every column's value of a[i] equals b[j], else 0. Long
// values compare by length and bytes, others by their element bytes;
// indicators are not compared. 15 for null arguments, a set without columns,
// a row past a set's row count, different column counts, or a column whose
// type or width differs.
int ColSetCompareRow(const COLSET* a, uint32_t i, const COLSET* b, uint32_t j, int* equal);

// *out := a deep copy of src (long values duplicated). A source without row
// storage gives an empty set with its column capacity and no columns. On
// failure *out is left untouched.
int ColSetCreate(COLSET** out, const COLSET* src);

// Copies row s of source into row t of target: t below the target's row
// count overwrites, t equal to it appends (the row capacity must exceed t).
// With move set a long value is handed over (the source's pointer cleared),
// else duplicated. Column count, types and widths must match.
int ColSetCopyRows(COLSET* target, COLSET* source, uint32_t t, uint32_t s, int move);

// Appends every source row to target; long values move (the source loses
// them). The row count becomes the sum of the row counts; the capacity at
// least doubles when it must grow, so that a set gathered batch by batch
// copies each row a bounded number of times.
int ColSetAppendRows(COLSET* target, COLSET* source);

// The bytes a row of the set holds on average, its long values' included;
// 0 for a set without rows.
uint64_t ColSetRowBytes(const COLSET* set);

// Joins b's columns in front of a's: a gets them (b keeps its column shapes
// but no storage and no rows). Both need columns and the same row count.
int ColSetMerge(COLSET* a, COLSET* b);

// Shapes *set (made when null, else emptied and reused) after tmpl's columns
// with storage for rows rows. A set made here is freed and *set nulled on
// failure.
int ColSetAlloc(COLSET** set, const COLSET* tmpl, uint32_t rows);

// Replaces *set by a copy whose rows are in reverse order; the old set is
// destroyed. On failure *set is unchanged.
int ColSetReverseRows(COLSET** set);

// The three above for a set held by an owner, with the same results.
int ColSetCreate(ColSetPtr* out, const COLSET* src);
int ColSetAlloc(ColSetPtr* set, const COLSET* tmpl, uint32_t rows);
int ColSetReverseRows(ColSetPtr* set);

// Replaces to's columns by those of `from`, whose record is then freed.
void ColSetAdopt(COLSET* to, ColSetPtr from);

// Frees column n (its long values included) and moves the later columns
// down by one; the column capacity stays.
int ColSetRemoveColumn(COLSET* set, uint16_t n);

int ColSetGetColumn(const COLSET* set, uint16_t n, uint32_t* type, uint32_t* width);

// Inserts a column of the given type and element width (bytes) at n (at most
// the column count), with storage for the set's row capacity, all NULL.
// 15 also for a width too small for the type.
int ColSetInsertColumn(COLSET* set, uint16_t n, uint32_t type, uint32_t width);

// Replaces target column t by a copy of source column s (long values
// duplicated); the target's row count and capacity become the source's, its
// other columns being re-sized to that capacity. Not the same column of the
// same set; the target's row count must be 0 or the source's; same type and
// width. A source without rows changes nothing.
int ColSetCopyColumn(COLSET* target, const COLSET* source, uint16_t t, uint16_t s);

// Makes column n able to hold values of length len (bytes; characters for
// the wide types): fixed-width text, bytes and wide text become their u32
// length-prefixed forms (20, 23, 27) when len exceeds them; NUL-terminated
// and prefixed forms widen; long columns get out-of-line buffers of at least
// len bytes. With actual set, a converted text keeps its own length instead
// of the whole width.
int ColSetResizeColumn(COLSET* set, uint16_t n, uint32_t len, int actual);

// Copies the value of (row, column) into out: nothing when *len is 0, length
// 0 for a NULL row, else min(*len, value length) bytes, *len set to that.
// The value length never reaches past its element or out-of-line value.
int ColSetValueLength(const COLSET* set, uint32_t row, uint16_t column, void* out, uint32_t* len);

#endif
