// The texts of parameter values as the agent reads them for a number, date
// or time SQL type: pure text work, no Java, so that it can be tested and
// fuzzed on its own. Every reader is strict: blanks around a value are
// allowed, anything else that is not part of the form refuses it.
#ifndef QMR_DRV_JDBC_J_DESC_TEXT_H
#define QMR_DRV_JDBC_J_DESC_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "drv_jdbc/j-wrap-types.h"
#include "util/errcodes.h"

// The text with the blanks around it (space, tab, CR, LF) removed: the
// form BigDecimal is given.
std::string decimalText(const char* text, size_t len);

// Whether t is a whole 64-bit integer and nothing else (a sign allowed).
bool wholeInteger(const std::string& t, int64_t* out);

// Whether t is digits with an optional sign, one decimal point and an
// exponent: the forms BigDecimal reads.
bool isDecimalNumber(const std::string& t);

// A double truncated toward zero to an integer; false when it has none
// within 64 bits (also for NaN and the infinities).
bool truncateToInt64(double d, int64_t* out);

// The number a text stands for, read as a numeric literal in the C locale.
// 0, ERR_INVALID_CAST_VALUE for a text that is no number, ERR_NUMERIC_RANGE for one
// beyond a double (a value too small for one becomes 0 or a subnormal).
uint32_t numberOfText(const char* text, size_t len, double* out);

// The integer a text stands for, exactly ("1.0" and "12e1" are whole): 0,
// ERR_INVALID_CAST_VALUE for no number, ERR_NUMERIC_RANGE beyond 64 bits,
// ERR_RIGHT_TRUNCATION for a number with a fraction that is not 0 (an exact
// numeric stores no value it would have to cut).
uint32_t integerOfText(const char* text, size_t len, int64_t* out);

// Reads a date, time or timestamp text into v (zeroed first): "yyyy-mm-dd"
// or "dd.mm.yyyy", optionally followed (after blanks or a 'T') by
// "hh:mm[:ss[.f]]", or that time alone; a year before 1 is signed
// ("-0043-03-15"). Blanks around the text are allowed,
// nothing else: every field is digits only. The fraction's digits are a
// decimal fraction of a second, stored in nanoseconds (".5" is 500000000).
// The fields are not checked against the calendar. length < 0: up to the
// NUL. false when the text is none of these forms (v stays zero).
bool parseDateTimeText(const char* text, int64_t length, JC_Timestamp* v);

// Whether the date fields name a day of the Gregorian calendar in years
// firstYear (1, as ODBC's structures hold them, unless a text signs a year
// before) to 9999, and whether the time fields name a moment of a day.
bool calendarHasDate(const JC_Timestamp& ts, int firstYear = 1);
bool clockHasTime(const JC_Timestamp& ts);

#endif
