// The agent's word to a connection's worker. A file of its own, so that
// what links the agent without the proxy's table (tests that stand in for
// the layers) takes only this.
#include "proxy/proxy.h"
#include "util/errcodes.h"

int PRX_SetEnabled(void* worker, uint32_t on) {
  if (worker == nullptr) return ERR_INVALID_ARGUMENT;
  static_cast<PRX_WORKER*>(worker)->enabled.store(on != 0 ? 1 : 0);
  return 0;
}

uint32_t PRX_IsEnabled(const void* worker) {
  return worker != nullptr ? static_cast<const PRX_WORKER*>(worker)->enabled.load() : 0;
}
