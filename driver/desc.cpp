// Descriptor records.
#include "driver/desc.h"

#include <sql.h>
#include <sqlext.h>

#include <new>
#include <vector>

#include "driver/dispatch.h"
#include "driver/ops.h"

namespace {

constexpr int32_t kNoMemory = 16;
constexpr int32_t kAutoDescriptor = 133;  // invalid use of an automatic descriptor

using CallGuard = plat::Guard<plat::RecursiveMutex>;

// Objects registered in a table (the caller holds the call lock).
template <class Fn>
void forEachSlot(HANDLE_TABLE* table, Fn fn) {
  for (uint32_t i = 0; i < table->capacity; ++i)
    if (table->slots[i].tag != 0 && table->slots[i].object != nullptr) fn(table->slots[i].object);
}

}  // namespace

DescHandle* DESC_Alloc(uint16_t kind, uint16_t allocType, StmtHandle* stmt, ConnHandle* conn) {
  auto* desc = new (std::nothrow) DescHandle();
  if (desc == nullptr) {
    if (stmt != nullptr)
      stmt->diag.pending = kNoMemory;
    else if (conn != nullptr)
      conn->diag.pending = kNoMemory;
    return nullptr;
  }
  desc->kind = kind;
  desc->allocType = allocType;
  desc->stmt = stmt;
  desc->conn = stmt != nullptr ? nullptr : conn;
  if (stmt != nullptr) {
    switch (kind) {
      case kDescARD:
        stmt->implicitArd = stmt->ard = desc;
        break;
      case kDescAPD:
        stmt->implicitApd = stmt->apd = desc;
        break;
      case kDescIRD:
        stmt->ird = desc;
        break;
      case kDescIPD:
        stmt->ipd = desc;
        break;
      default:
        break;
    }
  }
  return desc;
}

int DESC_Register(DescHandle* desc) {
  CallGuard g(DRV_CallLock());
  uint32_t number = 0;
  const int rc = HT_Alloc(&gDescTable, &number, desc);
  if (rc == 0) desc->handle = number;
  return rc;
}

void DESC_Free(DescHandle* desc) {
  {
    CallGuard g(DRV_CallLock());
    if (desc->kind == kDescExplicit) {
      // Statements that use it go back to their own descriptors.
      forEachSlot(&gStmtTable, [desc](void* o) {
        auto* s = static_cast<StmtHandle*>(o);
        if (s->tag != kTagStmt) return;
        if (s->ard == desc) s->ard = s->implicitArd;
        if (s->apd == desc) s->apd = s->implicitApd;
      });
    }
    if (desc->handle != 0) HT_Free(&gDescTable, desc->handle);
  }
  DIAG_Clear(&desc->diag);
  desc->tag = kTagReleased;
  delete desc;
}

void DESC_FreeExplicitOf(ConnHandle* conn) {
  std::vector<DescHandle*> mine;
  {
    CallGuard g(DRV_CallLock());
    forEachSlot(&gDescTable, [&](void* o) {
      auto* d = static_cast<DescHandle*>(o);
      if (d->tag == kTagDesc && d->kind == kDescExplicit && d->conn == conn) mine.push_back(d);
    });
  }
  for (DescHandle* d : mine) DESC_Free(d);
}

DRV_Return DRV_FreeHandleDescOp(void* h, va_list) {
  auto* desc = static_cast<DescHandle*>(h);
  if (desc->allocType == kDescAllocAuto) {
    desc->diag.pending = kAutoDescriptor;
    return SQL_ERROR;
  }
  DESC_Free(desc);
  return SQL_SUCCESS;
}
