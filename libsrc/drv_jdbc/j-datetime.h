// Dates, times and timestamps read as the database holds them: the fields
// of a java.time value, or of the database's own text, laid out as the row
// buffer's elements take them (COLSET_YEAR_* of util/colset.h). Neither
// goes through an instant of the VM's zone or its hybrid calendar.
#ifndef QMR_DRV_JDBC_J_DATETIME_H
#define QMR_DRV_JDBC_J_DATETIME_H

#include <jni.h>

#include <cstddef>
#include <cstdint>

#include "drv_jdbc/j-wrap-types.h"

namespace jdt {

enum Kind { kDate, kTime, kTimestamp };

// The java.time class a value of kind is read as ("java/time/LocalDate" ...).
const char* LocalClass(Kind kind);

// The fields of a LocalDate, LocalTime or LocalDateTime v of kind (not
// null); releases v. Their MAX and MIN (what PostgreSQL's driver gives for
// 'infinity') become the element's infinities. *endOfDay is set when v is
// LocalTime.MAX, which may stand for 24:00:00 (only the text tells).
// signedYears as for PutDate. 0, or 15 with the exception pending.
uint32_t LocalFields(JNIEnv* env, jobject v, Kind kind, JC_Timestamp* out, bool* endOfDay,
                     bool signedYears);

// The fields of the database's text of a value of kind: "2024-03-31",
// "0044-03-15 BC", "-0043-03-15", "infinity", "24:00:00",
// "12:34:56.123456+05:30" (a time or timestamp with an offset keeps its
// own wall time, the offset going to out->zone, COLSET_ZONE_*),
// "2024-03-31 02:30:00.0". False for any other text.
bool ParseText(const char* text, size_t length, Kind kind, JC_Timestamp* out);

// Stores the astronomical year y (0 is 1 BC) with its month and day as the
// element takes them (ColSetPutDate); java.time's MAX and MIN years are the
// infinities. signedYears: a year before 1 is shown signed, not with the era.
void PutDate(int64_t y, int64_t month, int64_t day, JC_Timestamp* out, bool signedYears = false);

// Today's date in the process's time zone, which ODBC gives a time read or
// sent as a timestamp.
void SetToday(JC_Timestamp* ts);

}  // namespace jdt

#endif
