// The statement's fetch state: what it owns and when it goes.
#include "driver/rowset/fetch_state.h"

#include "driver/rowset/getcolumn.h"

void FETCH_Reset(FetchState* state) {
  ColClearCache(&state->cache);
  state->rowPlan.valid = false;
}
