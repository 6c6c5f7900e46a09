// The answer of an operation whose implementation has not been built yet:
// the handle gets internal code 43 and the call SQL_ERROR. Temporary; it
// goes once the last such operation is built.
#ifndef QMR_DRIVER_PENDING_RESULT_H
#define QMR_DRIVER_PENDING_RESULT_H

#include <cstdarg>

#include "driver/dispatch.h"
#include "util/errcodes.h"

template <class Rec>
inline DRV_Return DRV_NotBuilt(void* handle) {
  if (handle != nullptr) static_cast<Rec*>(handle)->diag.pending = ERR_NOT_CAPABLE;
  return -1;  // SQL_ERROR
}

#define QMR_NOT_BUILT_OP(name, Rec) \
  DRV_Return name(void* handle, va_list) { return DRV_NotBuilt<Rec>(handle); }

#endif
