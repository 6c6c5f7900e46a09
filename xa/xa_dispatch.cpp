// The one road from the transaction code to the agent's XA operations: the
// slots of the connection's agent table.
#include "xa/xa_switch.h"

namespace {
template <class Fn>
Fn SlotOf(const DRV_Agent* agent, Fn DRV_OpTable::*slot) {
  return agent != nullptr && agent->ops != nullptr ? agent->ops->*slot : nullptr;
}
}  // namespace

int32_t XA_AgentOpen(const DRV_Agent* agent, uint32_t conn, void**, uint32_t useThread,
                     const char* info, int32_t rmid, int64_t flags) {
  const DRV_XaOpen_t op = SlotOf(agent, &DRV_OpTable::DRV_XaOpen);
  return op != nullptr ? op(conn, useThread, info, rmid, flags) : XAER_RMERR;
}

int32_t XA_AgentClose(const DRV_Agent* agent, uint32_t conn, void**, const char* info, int32_t rmid,
                      int64_t flags) {
  const DRV_XaClose_t op = SlotOf(agent, &DRV_OpTable::DRV_XaClose);
  return op != nullptr ? op(conn, info, rmid, flags) : XAER_RMERR;
}

int32_t XA_AgentXid(const DRV_Agent* agent, uint32_t conn, void**, DRV_XaXid_t DRV_OpTable::*slot,
                    XID* xid, int32_t rmid, int64_t flags) {
  const DRV_XaXid_t op = SlotOf(agent, slot);
  return op != nullptr ? op(conn, xid, rmid, flags) : XAER_RMERR;
}

int32_t XA_AgentRecover(const DRV_Agent* agent, uint32_t conn, void**, XID* xids, int64_t count,
                        int32_t rmid, int64_t flags) {
  const DRV_XaRecover_t op = SlotOf(agent, &DRV_OpTable::DRV_XaRecover);
  return op != nullptr ? op(conn, xids, count, rmid, flags) : XAER_RMERR;
}

int32_t XA_AgentComplete(const DRV_Agent* agent, uint32_t conn, void**, int* handle, int* retval,
                         int32_t rmid, int64_t flags) {
  const DRV_XaComplete_t op = SlotOf(agent, &DRV_OpTable::DRV_XaComplete);
  if (op == nullptr) return XAER_RMERR;
  int h = handle != nullptr ? *handle : 0;
  int r = 0;
  const int32_t rc = op(conn, &h, &r, rmid, flags);
  if (retval != nullptr) *retval = r;
  return rc;
}
