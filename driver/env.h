// Environment handles: the root of an application's ODBC objects.
#ifndef QMR_DRIVER_ENV_H
#define QMR_DRIVER_ENV_H

#include "driver/handles.h"

// The process-wide list of environments, newest first.
EnvHandle* ENV_First() REQUIRES(DRV_CallLock());
// Environments allocated since the process started.
uint32_t ENV_Counter() REQUIRES(DRV_CallLock());

// New record linked at the head of the list and numbered; null when memory
// runs out.
EnvHandle* ENV_Alloc() REQUIRES(DRV_CallLock());
// Allocated (1) becomes open (2).
void EnvrOpen(EnvHandle* env);
// Closes and frees every connection of an open environment; back to 1.
void ENV_Close(EnvHandle* env);
// Unlinks, frees the diagnostics, the number and the record.
void ENV_Free(EnvHandle* env);
// True when one of its connections is inside a call.
bool ENV_AnyConnBusy(const EnvHandle* env) REQUIRES(DRV_CallLock());

#endif
