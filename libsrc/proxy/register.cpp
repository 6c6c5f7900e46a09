// The agent's registration with its layers in front: the cursor library,
// then the worker-thread proxy. It lives with the topmost of them, so that
// the agent below knows nothing of either.
#include "proxy/register.h"

#include "proxy/proxy.h"
#include "scrs/scrinit.h"

int DRV_RegisterAgent(DRV_Agent* agent) {
  if (agent == nullptr) return 0;
  AGT_FillRecord(agent);
  SCR_Init(agent);
  PRX_Init(agent);
  AGT_PublishOps(agent->ops);
  return 0;
}
