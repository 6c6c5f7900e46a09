// Output parameters of procedure calls: after the execute of a statement
// prepared with prepareCall, the core asks for a fetch of 0 rows and gets a
// row buffer shaped like the parameter value set (same columns, value type
// codes, element sizes and rows), input values copied over and row 0 of
// every input/output and output parameter overwritten with what the
// procedure returned.
#ifndef QMR_DRV_JDBC_J_PROC_H
#define QMR_DRV_JDBC_J_PROC_H

#include <cstdint>

#include "drv_jdbc/j-records.h"

// Fills set (emptied first) with the statement's output parameters. 0; 15
// for a value type code without a getter (logged); 16; the code of a failed
// Java getter (the walk ends there).
uint32_t fetchCallProc(JdbcStmt* s, COLSET* set);

// Shapes dst like the value set src and copies its values, out-of-line ones
// into buffers of dst's own. 0 or 16 (dst is then empty). A null src leaves
// dst empty.
uint32_t allocCallProcBuffers(COLSET* dst, const COLSET* src);

#endif
