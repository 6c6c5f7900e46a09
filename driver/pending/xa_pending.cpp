// TEMPORARY: distributed transactions are not built yet. Start-up fails, so
// GetXaSwitch answers E_FAIL; shutdown and tracing do nothing.
#include "driver/pending/xa_pending.h"

int XA_Startup() { return -1; }
void XA_Cleanup() {}
void XA_End() {}
xa_switch_t* XA_SwitchRecord() { return nullptr; }
void RD_Trace(const char*, ...) {}
int32_t RD_TraceHResult(int32_t hr) { return hr; }
int32_t RD_Release(void* resource) { return resource == nullptr ? -1 : 0; }
void* RD_Create(void*, uint32_t, uint32_t, DRV_Agent*, void*, void*, const char*) {
  return nullptr;
}
int RD_Connect(void*) { return -1; }
int RD_Enlist(void*) { return -1; }
