// Parameter values to Java: one parameter set of the value set that the core
// handed over (DRV_SetParams) goes through the PreparedStatement setters,
// chosen by each parameter's SQL type (DRV_BindCols) and the class of its
// row-buffer value. Also the default description of every marker at
// prepare, and the description of the parameters on request.
#ifndef QMR_DRV_JDBC_J_DESC_H
#define QMR_DRV_JDBC_J_DESC_H

#include <cstdint>
#include <string>
#include <vector>

#include "drv_jdbc/j-desc-text.h"
#include "drv_jdbc/j-records.h"
#include "drv_jdbc/j-wrap-types.h"
#include "sqlan/pdescribe.h"
#include "util/errcodes.h"

// Parameter directions of a binding.
enum : uint16_t {
  PARAM_DIR_IN = 1,
  PARAM_DIR_INOUT = 2,
  PARAM_DIR_OUT = 4,
};

// Sends parameter set `set` of the held value set to the Java statement.
// Parameters without a binding go as SQL_CHAR input. Output-only
// parameters of a procedure call are registered, never given a value.
// 0; ERR_NOT_CAPABLE for a value type or SQL type without a setter;
// ERR_NUMERIC_RANGE for a value out of range; ERR_INVALID_CAST_VALUE for a
// text that is no number, ERR_DATETIME_FORMAT for one that is no date or
// time, ERR_DATE_OVERFLOW for a date or time that the calendar does not
// have; the code of a failed Java call. The first failure ends the set.
uint32_t setJavaParams(JdbcStmt* s, uint32_t set);

// Whether parameter set `set` is to be left out (a row marked to be
// skipped): it is neither read nor executed.
bool paramSetSkipped(const JdbcStmt* s, uint32_t set);

// Gives every marker its default description: "*B" for a procedure call
// (every parameter may carry a value back), else unnamed; VARCHAR(255)
// delivered as NUL-terminated text. 0 or ERR_NO_MEMORY.
uint32_t defaultParamDescs(JdbcStmt* s);

// Describes the parameters of a prepared statement before its first execute,
// from the probe queries that the SQL analyser builds for it. 0 whether or not
// anything could be described (a marker nothing describes keeps its default);
// ERR_FUNCTION_SEQUENCE when not prepared. A probe that fails leaves no
// diagnostic and no change to the application's transaction.
uint32_t describeParams(JdbcStmt* s);

// The second half of describeParams: runs each probe on a statement of its
// own on s's connection and copies each result column onto the parameter
// that the probe names for it. A probe that fails is skipped. Sets
// paramsDescribed.
void copyParamDescsFromProbes(JdbcStmt* s, const std::vector<PD_PROBE>& probes);

#endif
