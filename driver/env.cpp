// Environment records, their list and attributes.
#include "driver/env.h"

#include <sql.h>
#include <sqlext.h>

#include <new>

#include "driver/conn.h"
#include "driver/dispatch.h"
#include "driver/ops.h"
#include "driver/trace.h"
#include "util/errcodes.h"
#include "util/odbc_own.h"

namespace {

EnvHandle* gFirstEnv GUARDED_BY(DRV_CallLock()) = nullptr;
uint32_t gEnvCounter GUARDED_BY(DRV_CallLock()) = 0;

void unlink(EnvHandle* env) REQUIRES(DRV_CallLock()) {
  for (EnvHandle** p = &gFirstEnv; *p != nullptr; p = &(*p)->next) {
    if (*p == env) {
      *p = env->next;
      break;
    }
  }
  env->next = nullptr;
}

// Allocation shared by SQLAllocEnv (ODBC 2) and SQLAllocHandle (ODBC 3).
// The dispatcher holds the call lock around calls without a handle.
DRV_Return allocEnv(va_list args, uint32_t version, const char* failText) {
  DRV_CallLock().AssertHeld();
  auto* out = va_arg(args, SQLHANDLE*);
  // Nothing exists yet that could carry a diagnostic.
  if (out == nullptr) return SQL_ERROR;
  *out = SQL_NULL_HANDLE;
  EnvHandle* env = ENV_Alloc();
  if (env == nullptr) return SQL_ERROR;
  env->odbcVersion = version;
  EnvrOpen(env);
  if (env->state != kEnvOpen) {
    if (TRC_Active()) TRC_Printf("%s", failText);
    ENV_Free(env);
    return SQL_ERROR;
  }
  uint32_t number = 0;
  if (HT_Alloc(&gEnvTable, &number, env) != 0) {
    ENV_Free(env);
    return SQL_ERROR;
  }
  env->handle = number;
  *out = DRV_HandleValue(number);
  return SQL_SUCCESS;
}

// The dispatcher holds the call lock around environment calls.
DRV_Return freeEnv(EnvHandle* env) {
  DRV_CallLock().AssertHeld();
  if (ENV_AnyConnBusy(env)) return Fail(env, ERR_FUNCTION_SEQUENCE);
  ENV_Close(env);
  ENV_Free(env);
  return SQL_SUCCESS;
}

}  // namespace

EnvHandle* ENV_First() { return gFirstEnv; }
uint32_t ENV_Counter() { return gEnvCounter; }

EnvHandle* ENV_Alloc() {
  auto* env = new (std::nothrow) EnvHandle();
  if (env == nullptr) return nullptr;
  env->next = gFirstEnv;
  gFirstEnv = env;
  env->serial = ++gEnvCounter;
  return env;
}

void EnvrOpen(EnvHandle* env) {
  if (env->state == kEnvAllocated) env->state = kEnvOpen;
}

void ENV_Close(EnvHandle* env) {
  if (env->state != kEnvOpen) return;
  while (ConnHandle* conn = env->firstConn) {
    CONN_Close(conn);
    CONN_Free(conn);  // unlinks it from the environment
    delete conn;
  }
  env->state = kEnvAllocated;
}

void ENV_Free(EnvHandle* env) {
  plat::Guard<plat::RecursiveMutex> g(DRV_CallLock());
  if (env->handle != 0) HT_Free(&gEnvTable, env->handle);
  unlink(env);
  DIAG_Clear(&env->diag);
  env->tag = kTagReleased;
  env->state = kEnvReleased;
  delete env;
}

bool ENV_AnyConnBusy(const EnvHandle* env) {
  for (const ConnHandle* c = env->firstConn; c != nullptr; c = c->next)
    if (c->busy != nullptr) return true;
  return false;
}

DRV_Return DRV_AllocEnvOp(void*, va_list args) {
  return allocEnv(args, SQL_OV_ODBC2, "SQLAllocEnv: EnvrOpen failed");
}

DRV_Return DRV_AllocHandleEnvOp(void*, va_list args) {
  return allocEnv(args, SQL_OV_ODBC3, "SQLAllocHandle (SQL_HANDLE_ENV): EnvrOpen failed");
}

DRV_Return DRV_FreeEnvOp(void* h, va_list) { return freeEnv(static_cast<EnvHandle*>(h)); }
DRV_Return DRV_FreeHandleEnvOp(void* h, va_list) { return freeEnv(static_cast<EnvHandle*>(h)); }

DRV_Return DRV_SetEnvAttrOp(void* h, va_list args) {
  auto* env = static_cast<EnvHandle*>(h);
  const SQLINTEGER attribute = va_arg(args, SQLINTEGER);
  const uintptr_t value = reinterpret_cast<uintptr_t>(va_arg(args, SQLPOINTER));
  // Values outside the accepted range are ignored without a diagnostic.
  switch (attribute) {
    case SQL_ATTR_ODBC_VERSION:
      if (value == 2 || value == 3) env->odbcVersion = static_cast<uint32_t>(value);
      break;
    case SQL_ATTR_CONNECTION_POOLING:
      if (value <= 2) env->pooling = static_cast<uint32_t>(value);
      break;
    case SQL_ATTR_CP_MATCH:
      if (value <= 1) env->cpMatch = static_cast<uint32_t>(value);
      break;
    case SQL_ATTR_OUTPUT_NTS: {
      const uint32_t low = static_cast<uint32_t>(value);
      if (low <= 1) env->outputNts = low;
      break;
    }
    default: break;
  }
  return SQL_SUCCESS;
}

DRV_Return DRV_GetEnvAttrOp(void* h, va_list args) {
  auto* env = static_cast<EnvHandle*>(h);
  const SQLINTEGER attribute = va_arg(args, SQLINTEGER);
  auto* value = static_cast<SQLINTEGER*>(va_arg(args, SQLPOINTER));
  if (value == nullptr) return SQL_SUCCESS;
  switch (attribute) {
    case SQL_ATTR_ODBC_VERSION: *value = static_cast<SQLINTEGER>(env->odbcVersion); break;
    case SQL_ATTR_CONNECTION_POOLING: *value = static_cast<SQLINTEGER>(env->pooling); break;
    case SQL_ATTR_CP_MATCH: *value = static_cast<SQLINTEGER>(env->cpMatch); break;
    case QMR_ENV_ATTR_1056: *value = 2; break;
    case SQL_ATTR_OUTPUT_NTS: *value = env->outputNts != 0 ? 1 : 0; break;
    default: break;
  }
  return SQL_SUCCESS;
}
