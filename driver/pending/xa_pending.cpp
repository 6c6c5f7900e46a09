// TEMPORARY: the resource dispenser is not built yet. Start-up fails, so
// GetXaSwitch answers E_FAIL and enlistment is refused.
#include "driver/pending/xa_pending.h"

int XA_Startup() { return -1; }
void XA_Cleanup() {}
int32_t RD_Release(void* resource) { return resource == nullptr ? -1 : 0; }
void* RD_Create(void*, uint32_t, uint32_t, DRV_Agent*, void*, void*, const char*) {
  return nullptr;
}
int RD_Connect(void*) { return -1; }
int RD_Enlist(void*) { return -1; }
