// TEMPORARY: the worker-thread proxy does not interpose yet. As the real one,
// it refuses a record without an agent type.
#include "drv_jdbc/drv_agent.h"
#include "util/errcodes.h"

int PRX_Init(DRV_Agent* agent) {
  return agent == nullptr || agent->agentType == 0 ? ERR_NOT_CAPABLE : 0;
}
