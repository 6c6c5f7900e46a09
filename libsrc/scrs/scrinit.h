// The cursor library's start: puts the library in front of an agent record.
#ifndef QMR_SCRS_SCRINIT_H
#define QMR_SCRS_SCRINIT_H

#include "drv_jdbc/drv_agent.h"

// Points the record at the library's table, which is built from the
// record's table (and the column adjustment lent to the agent) on the first
// call only. 0.
int SCR_Init(DRV_Agent* agent);

#endif
