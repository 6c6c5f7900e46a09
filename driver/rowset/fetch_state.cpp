// The statement's fetch state: what it owns and when it goes.
#include "driver/rowset/fetch_state.h"

#include "driver/rowset/getcolumn.h"
#include "driver/rowset/rowstatus.h"

void FETCH_Reset(FetchState* state) {
  RowStatusFree(&state->rowStatus);
  state->rowsetPos = 0;
  state->rowsetFirst = 0;
  ColClearCache(&state->cache);
}
