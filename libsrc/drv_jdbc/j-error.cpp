// The agent's error lists and its SQLSTATE table.
#include "drv_jdbc/j-error.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "drv_jdbc/j-handles.h"
#include "util/errrows.h"
#include "util/owners.h"

namespace {

constexpr std::array<AgentErrorEntry, AGT_ERROR_COUNT> BuildTable() {
  std::array<AgentErrorEntry, AGT_ERROR_COUNT> t{};
  for (int i = 0; i < AGT_ERROR_COUNT; ++i) t[i] = AgentErrorEntry{{0, 0, 0, 0, 0, 0}, i, ""};
  for (const ErrRow& r : kErrRows) {
    AgentErrorEntry& e = t[r.code];
    for (int k = 0; k < 5 && r.state[k] != '\0'; ++k) e.state[k] = r.state[k];
    e.message = r.message;
  }
  return t;
}

char* DupState(const char* s) {
  char* p = static_cast<char*>(std::malloc(6));
  if (p == nullptr) return nullptr;
  std::snprintf(p, 6, "%s", s);
  return p;
}

void FreeRec(AgentError* r) {
  std::free(r->state);
  std::free(r);
}

}  // namespace

extern const std::array<AgentErrorEntry, AGT_ERROR_COUNT> AgentErrorTable = BuildTable();

AgentError* errNewByIndex(int index) {
  const AgentErrorEntry* e =
      (index > 0 && index < AGT_ERROR_COUNT && AgentErrorTable[index].state[0] != '\0')
          ? &AgentErrorTable[index]
          : &AgentErrorTable[15];  // an unused index reads as a general error
  AgentError* r = errNewRec(e->message, 0, e->state);
  if (r != nullptr) r->ownState = 1;
  return r;
}

AgentError* errNewRec(const char* message, int32_t native, const char* state) {
  auto* r = static_cast<AgentError*>(std::calloc(1, sizeof(AgentError)));
  if (r == nullptr) return nullptr;
  r->state = DupState(state != nullptr ? state : "");
  if (r->state == nullptr) {
    std::free(r);
    return nullptr;
  }
  r->native = native;
  if (message != nullptr) std::snprintf(r->message, sizeof r->message, "%s", message);
  return r;
}

void errAppend(ErrorList* list, AgentError* rec) {
  if (list == nullptr || rec == nullptr) return;
  AgentError** tail = &list->head;
  while (*tail != nullptr) tail = &(*tail)->next;
  rec->next = nullptr;
  *tail = rec;
}

void errClear(ErrorList* list) {
  if (list == nullptr) return;
  AgentError* r = list->head;
  while (r != nullptr) {
    AgentError* next = r->next;
    FreeRec(r);
    r = next;
  }
  list->head = nullptr;
}

void errPostIndex(ErrorList* list, int index) {
  if (list == nullptr) return;
  if (list->keep == 0) errClear(list);
  errAppend(list, errNewByIndex(index));
}

void errPostMsg(ErrorList* list, const char* message, int index) {
  if (list == nullptr) return;
  if (list->keep == 0) errClear(list);
  const char* state = (index > 0 && index < AGT_ERROR_COUNT && AgentErrorTable[index].state[0])
                          ? AgentErrorTable[index].state
                          : AgentErrorTable[15].state;
  AgentError* r = errNewRec(message, 0, state);
  if (r != nullptr) r->ownState = 1;
  errAppend(list, r);
}

uint32_t errCodeForState(const char* state) {
  if (state == nullptr) return ERR_GENERAL;
  // Entry 184 is left out of the search, as the table has always been read.
  for (int i = 1; i < AGT_ERROR_COUNT - 1; ++i) {
    const AgentErrorEntry& e = AgentErrorTable[i];
    if (e.state[0] != '\0' && std::strncmp(e.state, state, 5) == 0) return static_cast<uint32_t>(i);
  }
  return ERR_GENERAL;
}

void errPostState(uint32_t* rc, const char* state, char* message, int32_t native, ErrorList* list) {
  const char* st = (state != nullptr && *state != '\0') ? state : "S1000";
  if (message != nullptr) {
    // Control characters (the line breaks of a server's multi-line message)
    // become blanks; the bytes of non-ASCII characters are text and stay.
    for (char* p = message; *p != '\0'; ++p) {
      if (static_cast<unsigned char>(*p) < 0x20) *p = ' ';
    }
  }
  if (list == nullptr) return;
  if (list->keep == 0) errClear(list);
  char five[6] = {0};
  std::memcpy(five, st, strnlen(st, 5));
  errAppend(list, errNewRec(message, native, five));
  if (rc != nullptr && *rc == 0) *rc = errCodeForState(five);
}

void DRV_FreeErrorBatch(DRV_ErrorBatch* batch) {
  if (batch == nullptr) return;
  LST_Free(&batch->list);
  std::free(batch->ownState);
  batch->ownState = nullptr;
  std::free(batch->rows);
  batch->rows = nullptr;
}

namespace {

uint32_t HandOver(ErrorList* list, DRV_ErrorBatch* batch) {
  batch->list.native = 0;
  batch->list.count = 0;
  batch->list.texts = nullptr;
  batch->ownState = nullptr;
  batch->rows = nullptr;
  if (list->head == nullptr) return 0;
  uint32_t n = 0;
  for (AgentError* r = list->head; r != nullptr; r = r->next) ++n;
  UniqueFree<char*[]> texts(static_cast<char**>(std::calloc(n, sizeof(char*))));
  UniqueFree<uint8_t[]> own(static_cast<uint8_t*>(std::calloc(n, 1)));
  UniqueFree<uint32_t[]> rows(static_cast<uint32_t*>(std::calloc(n, sizeof(uint32_t))));
  if (texts == nullptr || own == nullptr || rows == nullptr) return ERR_NO_MEMORY;
  uint32_t i = 0;
  for (AgentError* r = list->head; r != nullptr; r = r->next, ++i) {
    own[i] = r->ownState;
    rows[i] = r->row;
    if (r->message[0] == '\0') continue;
    const char* state = r->state != nullptr ? r->state : "";
    int len = std::snprintf(nullptr, 0, "[Velkaro]%s[SQLSTATE:%s]", r->message, state);
    char* t = static_cast<char*>(std::malloc(static_cast<size_t>(len) + 1));
    if (t == nullptr) {
      for (uint32_t k = 0; k < i; ++k) std::free(texts[k]);
      return ERR_NO_MEMORY;  // the list stays as it is
    }
    std::snprintf(t, static_cast<size_t>(len) + 1, "[Velkaro]%s[SQLSTATE:%s]", r->message, state);
    texts[i] = t;
  }
  batch->list.native = static_cast<uint32_t>(list->head->native);
  batch->list.count = n;
  batch->list.texts = texts.release();
  batch->ownState = own.release();
  batch->rows = rows.release();
  errClear(list);
  return 0;
}

}  // namespace

extern "C" uint32_t DRV_GetError(uint32_t h, DRV_ErrorBatch* batch) {
  if (batch == nullptr) return ERR_INVALID_ARGUMENT;
  if (JdbcStmt* s = AGT_Stmt(h)) return HandOver(&s->errors, batch);
  if (JdbcConn* c = AGT_Conn(h)) return HandOver(&c->errors, batch);
  if (JdbcEnv* e = AGT_Env(h)) {
    plat::Guard<plat::RecursiveMutex> g(e->cs);
    return HandOver(&e->errors, batch);
  }
  return ERR_INVALID_ARGUMENT;
}
