// TEMPORARY: the worker-thread proxy has no workers yet, so there is no
// worker to tell; the answers are those of the real one for a null worker
// and for one that takes the word.
#include <cstdint>

#include "drv_jdbc/drv_agent.h"
#include "util/errcodes.h"

int PRX_SetEnabled(void* worker, uint32_t) {
  return worker == nullptr ? static_cast<int>(ERR_INVALID_ARGUMENT) : 0;
}
