// The agent's diagnostics: lists of AgentError records on its environment,
// connection and statement records, the agent's SQLSTATE table, and the
// hand-over of a list to the driver core (DRV_GetError, slot 2).
#ifndef QMR_DRV_JDBC_J_ERROR_H
#define QMR_DRV_JDBC_J_ERROR_H

#include <array>
#include <cstdint>

#include "drv_jdbc/drv_agent.h"

constexpr int AGT_MESSAGE_MAX = 2047;  // characters of a message kept

struct AgentError {
  AgentError* next;
  int32_t native;
  char message[AGT_MESSAGE_MAX + 1];
  char* state;       // heap copy of the five-character SQLSTATE
  uint8_t ownState;  // 1: the state is the table's own; 0: from the database
  uint32_t row;      // the rowset row (1-based) whose failure it tells; 0: none
};

struct ErrorList {
  uint32_t keep;  // non-zero: posting does not clear earlier records
  AgentError* head;
  void* reserved;
};

struct AgentErrorEntry {
  char state[6];
  int32_t code;  // equals the entry's index
  const char* message;
};

constexpr int AGT_ERROR_COUNT = 189;
static_assert(AGT_ERROR_COUNT == ERR_CODE_LIMIT, "the agent's table holds every code");
extern const std::array<AgentErrorEntry, AGT_ERROR_COUNT> AgentErrorTable;

AgentError* errNewByIndex(int index);
AgentError* errNewRec(const char* message, int32_t native, const char* state);
void errAppend(ErrorList* list, AgentError* rec);
void errClear(ErrorList* list);
void errPostIndex(ErrorList* list, int index);
void errPostMsg(ErrorList* list, const char* message, int index);
// Posts a diagnostic made from Java data (state, message, native code) and,
// when *rc is 0, derives the return code from the state.
void errPostState(uint32_t* rc, const char* state, char* message, int32_t native, ErrorList* list);
// The lowest table index whose SQLSTATE equals the first five characters of
// state (entries 0..183), or ERR_GENERAL when none does.
uint32_t errCodeForState(const char* state);

extern "C" uint32_t DRV_GetError(uint32_t h, DRV_ErrorBatch* batch);

#endif
