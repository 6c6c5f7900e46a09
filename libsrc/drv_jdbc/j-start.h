// Starting and stopping the agent (slots 3 and 4): the one environment
// record, the VM joined or created, the support classes and the archives'
// class loader; counted, so that only the last DRV_Term lets them go.
#ifndef QMR_DRV_JDBC_J_START_H
#define QMR_DRV_JDBC_J_START_H

#include <cstdint>

#include "platform/lock.h"

// Held by DRV_Init and DRV_Term (and by connect and disconnect around their
// changes to shared lists). Created once, statically.
extern plat::RecursiveMutex gAgentMutex;

// DRV_Init calls not yet matched by DRV_Term.
extern uint32_t gJvmRefCount GUARDED_BY(gAgentMutex);
extern uint32_t gAgentEnvHandle GUARDED_BY(gAgentMutex);  // the one JdbcEnv's handle

extern "C" {
// Agent slots 3 and 4. texts is null or two texts: the archive directory
// (read by the first DRV_Init only) and one not read. A failed DRV_Init
// leaves *env naming an environment
// record whose error list holds the cause (read it with DRV_GetError, then
// give it back with DRV_Term), or 0 when not even that record could be made.
uint32_t DRV_Init(const char* const* texts, uint32_t* env);
uint32_t DRV_Term(uint32_t env);
}

#endif
