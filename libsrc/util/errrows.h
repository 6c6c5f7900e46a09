// The internal error list as data, for the two tables built from it: the
// driver's (SQLSTATE and message by code) and the agent's. One list, so an
// agent return code means the same condition on both sides.
#ifndef QMR_UTIL_ERRROWS_H
#define QMR_UTIL_ERRROWS_H

struct ErrRow {
  int code;
  const char* state;  // ODBC 2 form
  const char* message;
};

inline constexpr ErrRow kErrRows[] = {
#define QMR_ERR(code, name, state, message) {code, state, message},
#include "util/errcodes.inc"
#undef QMR_ERR
};

#endif
