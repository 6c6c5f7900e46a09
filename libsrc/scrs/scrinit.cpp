// Installation of the cursor library in front of the agent: once, on the
// first registration; every registration after it only points its record at
// the library's table.
#include "scrs/scrinit.h"
#include "platform/lock.h"
#include "scrs/scranalysis.h"
#include "scrs/scrframe.h"

namespace {

// Connections register one after another under the driver's connect lock,
// but agents registered without the driver (its tests) have no such lock.
plat::Mutex gInstallLock;

}  // namespace

int SCR_Init(DRV_Agent* agent) {
  if (agent == nullptr || agent->ops == nullptr) return 0;
  {
    plat::Guard<plat::Mutex> g(gInstallLock);
    if (SCR_SavedAgent.ops == nullptr && agent->ops != &SCR_OpTable) {
      SCR_OpTable = *agent->ops;
      SCR_SavedAgent = *agent;
      SCR_InstallHooks(&SCR_OpTable);
    }
  }
  AGT_SetColumnAdjust(SCR_AdjustColDesc);
  agent->ops = &SCR_OpTable;
  return 0;
}
