// TEMPORARY: the coordinator's resource dispenser the driver core calls,
// until it is built.
#ifndef QMR_DRIVER_PENDING_XA_PENDING_H
#define QMR_DRIVER_PENDING_XA_PENDING_H

#include <cstdint>

// 0 when the services run, -1 otherwise (always -1 for now).
int XA_Startup();
void XA_Cleanup();
// Reference count after the release; -1 for no object.
int32_t RD_Release(void* resource);
// The enlistment object of a connection (one reference), or null; the
// caller frees the connect text afterwards.
struct DRV_Agent;
void* RD_Create(void* transaction, uint32_t agentEnv, uint32_t agentConn, DRV_Agent* agent,
                void* xaDataWord, void* callLock, const char* connectText);
// 0 on success, -1 on failure or for a null object.
int RD_Connect(void* resource);
int RD_Enlist(void* resource);

#endif
