// TEMPORARY: the scrollable cursor library does not interpose yet; the
// record keeps the table it was given.
#include "drv_jdbc/drv_agent.h"

int SCR_Init(DRV_Agent*) { return 0; }
