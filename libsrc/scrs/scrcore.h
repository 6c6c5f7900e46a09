// The cursor library as the driver core may use it: the one header of the
// library that the core includes. Through it the core keeps a statement's
// cursor state and its row numbers (scrcursor.h), fetches rowsets with the
// fetch engine (scrfetch.h) and frees and re-shapes its row buffers
// (colset_ops.h). Everything else of the library stands in the agent table
// in front of the agent, where the core reaches it as it reaches the agent.
#ifndef QMR_SCRS_SCRCORE_H
#define QMR_SCRS_SCRCORE_H

#include "scrs/colset_ops.h"
#include "scrs/scrcursor.h"
#include "scrs/scrfetch.h"

#endif
