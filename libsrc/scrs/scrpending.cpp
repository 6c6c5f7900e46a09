// TEMPORARY: the services of the cursor library that later work fills:
// the keyset, mixed and
// dynamic fetches and the combined
// execute-and-describe calls. Each answers "Driver not capable" from here
// until it is built; static and forward-only cursors never need them.
#include <sql.h>
#include <sqlext.h>

#include "drv_jdbc/drv_agent.h"
#include "scrs/colset_ops.h"
#include "scrs/scranalysis.h"
#include "scrs/scrframe.h"
#include "scrs/scrhooks.h"
#include "util/errcodes.h"











namespace {

uint32_t NotCapable(uint32_t stmt) {
  return SCR_StmtCursor(stmt) != nullptr ? ERR_NOT_CAPABLE : ERR_INVALID_ARGUMENT;
}

}  // namespace

extern "C" {

uint32_t SCR_ExecDescribe(uint32_t stmt, const char*, COLSET*, uint16_t, const void*, uint32_t,
                          uint16_t*, JdbcColDesc**, void*, void*, int32_t*) {
  return NotCapable(stmt);
}
uint32_t SCR_AllocPrepare(uint32_t, const char*, uint32_t, uint32_t, uint32_t*) {
  return ERR_NOT_CAPABLE;
}
uint32_t SCR_FetchDescribe(uint32_t stmt, uint16_t*, void**, void*) { return NotCapable(stmt); }
uint32_t SCR_FetchScrollRow(uint32_t stmt, ROWSTATUS**, int32_t, uint32_t*, uint32_t*, uint16_t) {
  return NotCapable(stmt);
}
uint32_t SCR_GetCachedData(uint32_t stmt, uint16_t, uint16_t, uint32_t, void*, uint32_t*,
                           uint32_t*, int32_t*) {
  return NotCapable(stmt);
}
uint32_t SCR_ExecBatch(uint32_t stmt, uint16_t, const void*, uint16_t*, uint32_t*) {
  return NotCapable(stmt);
}
uint32_t SCR_ExecDescribeAttr(uint32_t stmt, const char*, COLSET*, uint16_t, const void*, uint32_t,
                              uint16_t*, JdbcColDesc**, void*, void*, int32_t*, uint16_t*,
                              ATTR_ENTRY**) {
  return NotCapable(stmt);
}
uint32_t SCR_Execute2(uint32_t stmt, const char*, COLSET*, uint16_t, const void*) {
  return NotCapable(stmt);
}
uint32_t SCR_BindColsEx(uint32_t stmt, uint16_t, const void*) { return NotCapable(stmt); }

}  // extern "C"
