// Value records shared by the JDBC method wrappers.
#ifndef QMR_DRV_JDBC_J_WRAP_TYPES_H
#define QMR_DRV_JDBC_J_WRAP_TYPES_H

#include <jni.h>

#include <cstdint>

#include "drv_jdbc/j-records.h"
#include "util/colset.h"

// Date, time and timestamp in the layouts of SQL_DATE_STRUCT, SQL_TIME_STRUCT
// and SQL_TIMESTAMP_STRUCT (the row buffer's types 11, 12 and 13); a time
// carries its fraction and offset (COLSET_ZONE_*) after SQL_TIME_STRUCT's
// fields, a timestamp its offset after SQL_TIMESTAMP_STRUCT's.
struct JC_Date {
  int16_t year;
  uint16_t month;
  uint16_t day;
};
struct JC_Time {
  uint16_t hour;
  uint16_t minute;
  uint16_t second;
  uint16_t unused;
  uint32_t fraction;                 // nanoseconds
  uint32_t zone = COLSET_ZONE_NONE;  // or seconds east + COLSET_ZONE_BIAS
};
struct JC_Timestamp {
  int16_t year;
  uint16_t month;
  uint16_t day;
  uint16_t hour;
  uint16_t minute;
  uint16_t second;
  uint32_t fraction;                 // nanoseconds
  uint32_t zone = COLSET_ZONE_NONE;  // or seconds east + COLSET_ZONE_BIAS
};

// The long-value record of the long getters is the row buffer's out-of-line
// element: {length; malloc buffer}. A getter frees the previous buffer first;
// text buffers carry a terminating NUL (one UTF-16 unit for the wide forms)
// beyond length. Length counts bytes, or UTF-16 units for the wide forms.
typedef COLSET_LONG JC_LongValue;

#endif
