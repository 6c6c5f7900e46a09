// Descriptor handles and their records.
#include "driver/desc.h"

#include <sql.h>
#include <sqlext.h>

#include <limits>
#include <memory>
#include <mutex>
#include <new>

#include "driver/dispatch.h"
#include "driver/ops.h"
#include "util/errcodes.h"

namespace {

using CallGuard = plat::Guard<plat::RecursiveMutex>;

// Objects registered in a table, read under the table's own lock (the
// caller holds the call lock, the lock order the dispatcher uses).
template <class Fn>
void forEachSlot(HANDLE_TABLE* table, Fn fn) {
  HT_Guard tableLock(table);
  for (uint32_t i = 0; i < table->capacity; ++i)
    if (table->slots[i].tag != 0 && table->slots[i].object != nullptr) fn(table->slots[i].object);
}

DescRec* newRecord() { return new (std::nothrow) DescRec(); }

// Record 0, the bookmark record, is made when a record is first asked for:
// most statements never touch their descriptors' records at all.
bool ensureRecord0(DescHandle* desc) {
  if (!desc->recs.empty()) return true;
  std::unique_ptr<DescRec> rec0(newRecord());
  if (rec0 == nullptr) return false;
  try {
    desc->recs.push_back(std::move(rec0));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace

const char* DESC_KindName(const DescHandle* desc) {
  switch (desc->kind) {
    case kDescIRD: return "IRD";
    case kDescARD: return "ARD";
    case kDescIPD: return "IPD";
    case kDescAPD: return "APD";
    case kDescExplicit: return "USER";
    default: return "UNKNOWN_DESC";
  }
}

DescHandle* DESC_Alloc(uint16_t kind, uint16_t allocType, StmtHandle* stmt, ConnHandle* conn) {
  auto* desc = new (std::nothrow) DescHandle();
  if (desc == nullptr) {
    if (stmt != nullptr)
      Fail(stmt, ERR_NO_MEMORY);
    else if (conn != nullptr)
      Fail(conn, ERR_NO_MEMORY);
    return nullptr;
  }
  desc->kind = kind;
  desc->allocType = allocType;
  desc->stmt = stmt;
  desc->conn = stmt != nullptr ? nullptr : conn;
  if (stmt != nullptr) {
    switch (kind) {
      case kDescARD: stmt->implicitArd = stmt->ard = desc; break;
      case kDescAPD: stmt->implicitApd = stmt->apd = desc; break;
      case kDescIRD: stmt->ird = desc; break;
      case kDescIPD: stmt->ipd = desc; break;
      default: break;
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

std::vector<StmtHandle*> DESC_UsersOf(const DescHandle* desc, bool asArd) {
  std::vector<StmtHandle*> users;
  if (desc->kind != kDescExplicit || desc->conn == nullptr) return users;
  CallGuard g(DRV_CallLock());
  for (StmtHandle* s = desc->conn->firstStmt; s != nullptr; s = s->next) {
    if (s->tag != kTagStmt) continue;
    if ((asArd ? s->ard : s->apd) == desc) users.push_back(s);
  }
  return users;
}

void DESC_Free(DescHandle* desc) {
  if (desc->kind == kDescExplicit) {
    // Statements that use it go back to their own descriptors, which then
    // speak for the statement again.
    for (StmtHandle* s : DESC_UsersOf(desc, true)) {
      s->ard = s->implicitArd;
      if (s->ard != nullptr) DESC_RebindCols(s, s->ard);
    }
    for (StmtHandle* s : DESC_UsersOf(desc, false)) {
      s->apd = s->implicitApd;
      if (s->apd != nullptr) DESC_RebindParams(s, s->apd);
    }
  }
  {
    CallGuard g(DRV_CallLock());
    if (desc->handle != 0) HT_Free(&gDescTable, desc->handle);
    desc->handle = 0;
  }
  for (auto& rec : desc->recs) DESC_RecClear(rec.get());
  desc->recs.clear();
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

int DESC_Count(const DescHandle* desc) {
  return desc->recs.empty() ? 0 : static_cast<int>(desc->recs.size()) - 1;
}

DescRec* DESC_GetRec(DescHandle* desc, int n) {
  if (n < 0 || (n == 0 && !ensureRecord0(desc))) return nullptr;
  if (static_cast<size_t>(n) >= desc->recs.size()) return nullptr;
  return desc->recs[static_cast<size_t>(n)].get();
}

void DESC_RecInit(const DescHandle* desc, DescRec* rec) {
  switch (desc->kind) {
    case kDescARD:
    case kDescAPD:
      rec->type = SQL_C_DEFAULT;
      rec->conciseType = SQL_C_DEFAULT;
      rec->data = nullptr;
      rec->indicator = nullptr;
      rec->octetLengthPtr = nullptr;
      break;
    case kDescIPD: rec->paramType = SQL_PARAM_INPUT; break;
    default: break;
  }
}

int DESC_Grow(DescHandle* desc, int n) {
  if (DESC_Count(desc) < n && !ensureRecord0(desc)) return ERR_NO_MEMORY;
  while (DESC_Count(desc) < n) {
    DescRec* rec = newRecord();
    if (rec == nullptr) return ERR_NO_MEMORY;
    DESC_RecInit(desc, rec);
    try {
      desc->recs.emplace_back(rec);
    } catch (const std::bad_alloc&) {
      delete rec;
      return ERR_NO_MEMORY;
    }
    desc->count = static_cast<int16_t>(DESC_Count(desc));
  }
  if (desc->count < n) desc->count = static_cast<int16_t>(n);
  return 0;
}

void DESC_Truncate(DescHandle* desc, int n) {
  if (n < 0) n = 0;
  while (DESC_Count(desc) > n) {
    DESC_RecClear(desc->recs.back().get());
    desc->recs.pop_back();
  }
}

void DESC_RecClear(DescRec* rec) {
  rec->data = nullptr;
  rec->indicator = nullptr;
  rec->octetLengthPtr = nullptr;
  std::string().swap(rec->name);
}

int DESC_RebindCols(StmtHandle* stmt, DescHandle* ard) {
  // The bind offset, the row operation array and the bound columns are read
  // from the current ARD itself; the rowset size and the row bind type are
  // kept by the statement and follow the descriptor now in use.
  if (ard->arraySize == 0 || ard->arraySize > std::numeric_limits<uint32_t>::max())
    return ERR_GENERAL;
  stmt->cursor.rowsetSize = static_cast<uint32_t>(ard->arraySize);
  stmt->bindType = ard->bindType;
  return 0;
}

int DESC_RebindParams(StmtHandle* stmt, DescHandle* apd) {
  if (apd->arraySize == 0) return ERR_GENERAL;
  // Every bound parameter needs its implementation record.
  DescHandle* ipd = stmt->ipd;
  if (ipd != nullptr && DESC_Count(apd) > DESC_Count(ipd)) {
    const int rc = DESC_Grow(ipd, DESC_Count(apd));
    if (rc != 0) return FailCode(stmt, rc);
  }
  return 0;
}

DescRec* DESC_RecAt(int n, StmtHandle* stmt) {
  if (stmt == nullptr || stmt->apd == nullptr || n < 1) return nullptr;
  return DESC_GetRec(stmt->apd, n);
}

DescRec* DESC_FindRec(int n, StmtHandle* stmt) {
  if (stmt == nullptr || stmt->ard == nullptr) return nullptr;
  DescRec* rec = DESC_GetRec(stmt->ard, n);
  return rec != nullptr && rec->data != nullptr ? rec : nullptr;
}

DRV_Return DRV_FreeHandleDescOp(void* h, va_list) {
  auto* desc = static_cast<DescHandle*>(h);
  if (desc->allocType == kDescAllocAuto) return Fail(desc, ERR_AUTO_DESC);
  DESC_Free(desc);
  return SQL_SUCCESS;
}
