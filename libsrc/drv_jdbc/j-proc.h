// Output parameters of procedure calls: after the execute of a statement
// prepared with prepareCall, the core asks for a fetch of 0 rows and gets a
// row buffer shaped like the parameter value set (same columns, value type
// codes, element sizes and rows), input values copied over and row 0 of
// every input/output and output parameter overwritten with what the
// procedure returned. A text or byte output longer than its element turns
// that column into its out-of-line form (COLSET_VT_LONGCHAR, _LONGBINARY or
// _LONGWCHAR, every row copied), so that the value arrives whole and a cut
// made for the application reports the full length.
#ifndef QMR_DRV_JDBC_J_PROC_H
#define QMR_DRV_JDBC_J_PROC_H

#include <cstdint>

#include "drv_jdbc/j-records.h"

// Fills set (emptied first) with the statement's output parameters. 0;
// ERR_GENERAL for a value type code without a getter (logged); ERR_NO_MEMORY;
// the code of a failed
// Java getter (the walk ends there).
uint32_t fetchCallProc(JdbcStmt* s, COLSET* set);

// Shapes dst like the value set src and copies its values, out-of-line ones
// into buffers of dst's own. 0 or ERR_NO_MEMORY (dst is then empty). A null src
// leaves dst empty.
uint32_t allocCallProcBuffers(COLSET* dst, const COLSET* src);

// Shared by the procedure sources: output values read with getObject.

// Whether an output parameter registered with this ODBC SQL type is read as
// text with getString (character and binary types); the others are read
// with getObject and turned into text (a BigDecimal in plain notation, a
// Boolean as 1 or 0), since a driver may refuse getString on them.
bool procReadsWithGetString(int32_t sqlType);
// Whether an output parameter registered with this ODBC SQL type is a date,
// time or timestamp (the ODBC 2 codes too).
bool procIsDateTime(int32_t sqlType);
// Whether the typed getter of value type code suits a parameter registered
// with this ODBC SQL type (codes read otherwise always suit).
bool procGetterFits(uint32_t code, int32_t sqlType);
// The value of parameter ix as text, out of line (UTF-16 when wide). 0,
// ERR_NO_MEMORY or a Java failure's code.
uint32_t procObjectTextLong(JdbcStmt* s, jobject cs, int32_t ix, bool wide, COLSET_LONG* v);
// The value of parameter ix, registered with ODBC SQL type sqlType, converted
// into an element of a number or date-time code: a Number, Boolean or number
// text for the numbers; for the date-times the fields its registered type's
// getter reads where that type holds the parts asked for (a DATE as a
// timestamp, a TIMESTAMP as a date or time), else a java.sql.Timestamp, Date
// or Time (the parts asked for must be there). A NULL leaves the element
// zero. 0, ERR_GENERAL with a diagnostic posted, or a Java failure's code.
uint32_t procObjectValue(JdbcStmt* s, jobject cs, int32_t ix, int32_t sqlType, uint32_t code,
                         unsigned char* e, uint32_t size);

#endif
