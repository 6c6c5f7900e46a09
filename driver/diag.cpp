// Message lists of the handles and the reading of one diagnostic.
#include "driver/diag.h"

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "driver/trace.h"
#include "util/textconv.h"

void ERR_FreeList(ErrRec* first) {
  while (first != nullptr) {
    ErrRec* next = first->next;
    std::free(first->text);
    std::free(first);
    first = next;
  }
}

namespace {

// Records are malloc'd so that ERR_FreeList can release chains built anywhere.
ErrRec* NewRec() { return static_cast<ErrRec*>(std::calloc(1, sizeof(ErrRec))); }

void Append(DiagArea* d, ErrRec* r) {
  if (d->tail == nullptr) {
    // Tolerate an area whose tail was never set (records linked by hand).
    ErrRec* last = d->head;
    while (last != nullptr && last->next != nullptr) last = last->next;
    d->tail = last;
  }
  if (d->tail != nullptr)
    d->tail->next = r;
  else
    d->head = r;
  d->tail = r;
  d->count++;
}

ErrRec* NthRec(ErrRec* first, int n) {
  ErrRec* r = first;
  for (int i = 1; r != nullptr && i < n; ++i) r = r->next;
  return r;
}

}  // namespace

void DIAG_AddEx(DiagArea* d, const char* text, int32_t native, bool ownState) {
  if (d == nullptr || text == nullptr) return;
  ErrRec* r = NewRec();
  if (r == nullptr) return;
  r->text = strdup(text);
  if (r->text == nullptr) {
    std::free(r);
    return;
  }
  r->native = native;
  r->ownState = ownState ? 1 : 0;
  Append(d, r);
}

void DIAG_Add(DiagArea* d, const char* text, int32_t native) { DIAG_AddEx(d, text, native, true); }

void DIAG_AddCode(DiagArea* d, int32_t code) {
  if (d == nullptr || code == 0) return;
  // A pending code is visible only while the list is empty; turn it into a
  // record first so that it is not hidden by the new one.
  if (d->head == nullptr && d->pending != 0) {
    ErrRec* p = NewRec();
    if (p == nullptr) return;
    p->code = d->pending;
    p->ownState = 1;
    d->pending = 0;
    Append(d, p);
  }
  ErrRec* r = NewRec();
  if (r == nullptr) return;
  r->code = code;
  r->ownState = 1;
  Append(d, r);
}

void DIAG_PutFirst(DiagArea* d, int32_t code) {
  if (d == nullptr || code == 0) return;
  if (d->head == nullptr) {
    // A visible pending code stays readable, behind the new one.
    const int32_t pending = d->pending;
    d->pending = code;
    if (pending != 0) DIAG_AddCode(d, pending);
    return;
  }
  ErrRec* r = NewRec();
  if (r == nullptr) return;
  r->code = code;
  r->ownState = 1;
  r->next = d->head;
  d->head = r;
  d->count++;
  d->pending = 0;
}

char* DIAG_Pop(DiagArea* d, int32_t* native) {
  if (d == nullptr || d->head == nullptr) return nullptr;
  ErrRec* r = d->head;
  d->head = r->next;
  if (d->head == nullptr) d->tail = nullptr;
  // Every record in the list was counted when it joined.
  assert(d->count > 0);
  d->count--;
  char* text = r->text;
  if (text == nullptr) {
    // An internal-code record hands out its formatted message.
    char state[6];
    char msg[256];
    ERR_DescribeCode(r->code, state, msg, sizeof msg);
    std::string s = std::string(kDiagDriverPrefix) + msg + "[SQLSTATE:" + state + "]";
    text = strdup(s.c_str());
  }
  if (native != nullptr) *native = r->native;
  std::free(r);
  return text;
}

uint32_t DIAG_Count(const DiagArea* d) { return d == nullptr ? 0 : d->count; }

const char* ERR_GetNth(const ErrRec* first, int n, int32_t* native) {
  const ErrRec* r = NthRec(const_cast<ErrRec*>(first), n);
  if (r == nullptr) return nullptr;
  if (native != nullptr) *native = r->native;
  return r->text;
}

bool DIAG_ReportsLinkLost(const DiagArea* d) {
  if (d == nullptr) return false;
  for (const ErrRec* r = d->head; r != nullptr; r = r->next) {
    if (r->text == nullptr) continue;
    char state[6];
    size_t length = 0;
    ERR_SplitText(r->text, &length, state, nullptr);
    for (const char* lost : {"08S01", "08003", "08006"}) {
      if (std::strcmp(state, lost) == 0) return true;
    }
  }
  return false;
}

const char* ERR_SplitText(const char* text, size_t* msgLen, char state[6], bool* fromAgent) {
  static const char kTag[] = "[SQLSTATE:";
  const char* p = text;
  while (*p == ' ') ++p;
  const char* tag = std::strstr(p, kTag);
  if (tag == nullptr) {
    *msgLen = std::strlen(p);
    std::memcpy(state, "S1000", 6);
    if (fromAgent != nullptr) *fromAgent = false;
    return p;
  }
  *msgLen = static_cast<size_t>(tag - p);
  const char* s = tag + sizeof kTag - 1;
  size_t n = 0;
  // Never look beyond the terminator or the closing bracket, and never take
  // more than the five characters an SQLSTATE has.
  while (n < 5 && s[n] != '\0' && s[n] != ']') ++n;
  if (n == 5) {
    std::memcpy(state, s, 5);
    state[5] = '\0';
  } else {
    std::memcpy(state, "S1000", 6);
  }
  if (fromAgent != nullptr) *fromAgent = true;
  return p;
}

void DIAG_SetRowNumber(DiagArea* d, int64_t row) {
  for (ErrRec* r = d != nullptr ? d->head : nullptr; r != nullptr; r = r->next)
    if (r->row == 0) r->row = row;
}

bool DIAG_Read(DiagArea* d, uint32_t odbcVersion, int mode, DiagText* out) {
  out->message.clear();
  std::memcpy(out->state, "00000", 6);
  out->native = 0;
  out->row = 0;
  if (d == nullptr) return false;

  bool found = false;
  ErrRec* rec = nullptr;
  ErrRec popped{};
  if (mode == 1) {
    if (d->head != nullptr) {
      rec = d->head;
      d->head = rec->next;
      if (d->head == nullptr) d->tail = nullptr;
      assert(d->count > 0);
      d->count--;
      popped = *rec;
      std::free(rec);
      rec = &popped;
    }
  } else {
    rec = NthRec(d->head, d->lastRec <= 1 ? 1 : d->lastRec);
  }

  int code = 0;
  if (rec != nullptr) {
    out->row = rec->row;
    if (rec->text != nullptr) {
      size_t len = 0;
      bool tagged = false;
      const char* m = ERR_SplitText(rec->text, &len, out->state, &tagged);
      out->message.reserve(std::strlen(kDiagPrefix) + len);
      out->message.assign(kDiagPrefix).append(m, len);
      out->native = rec->native;
      // A state the database sent keeps its form; only the driver's own ODBC 2
      // states (its table, its untagged messages) become ODBC 3 states.
      if (odbcVersion >= 3 && (!tagged || rec->ownState)) ERR_MapSqlState3(out->state);
      found = true;
    } else {
      code = rec->code;
    }
    if (mode == 1) std::free(popped.text);
  } else if (d->head == nullptr && (mode == 1 || d->lastRec <= 1)) {
    // The pending code stands for record 1 while the list is empty.
    code = d->pending;
  }
  if (mode == 1) d->pending = 0;

  if (!found && code != 0) {
    char msg[256];
    ERR_DescribeCode(code, out->state, msg, sizeof msg);
    out->message.assign(kDiagDriverPrefix).append(msg);
    out->native = 0;
    // A value no date or time structure holds is 22008 in both versions.
    if (odbcVersion >= 3 && code != ERR_DATETIME_FIELD_OVERFLOW) ERR_MapSqlState3(out->state);
    found = true;
  }
  return found;
}

int DIAG_CopyText(const std::string& text, char* buf, int64_t size) {
  if (buf != nullptr && size > 0) {
    const size_t n = utf8_prefix_len(text.data(), text.size(), static_cast<size_t>(size - 1));
    std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
  }
  return static_cast<int64_t>(text.size()) + 1 > size ? 1 : 0;
}

int DIAG_Format(DiagArea* d, uint32_t odbcVersion, int mode, char* state, int32_t* native,
                char* msg, int32_t msgSize, int32_t* lenOut) {
  if (lenOut != nullptr) *lenOut = 0;
  DiagText t;
  if (!DIAG_Read(d, odbcVersion, mode, &t)) {
    if (state != nullptr) std::memcpy(state, "00000", 6);
    if (native != nullptr) *native = 0;
    if (msg != nullptr && msgSize > 0) msg[0] = '\0';
    if (TRC_Active()) TRC_Printf("returning NO_DATA_FOUND");
    return 100;
  }
  int rc = DIAG_CopyText(t.message, msg, msgSize);
  if (state != nullptr) std::memcpy(state, t.state, 6);
  if (native != nullptr) *native = t.native;
  if (lenOut != nullptr) *lenOut = static_cast<int32_t>(t.message.size());
  if (TRC_Active()) {
    if (rc == 1) TRC_Printf("returning SUCCESS_WITH_INFO");
    TRC_Printf("Returning %s", TRC_Mask(t.message.c_str()).c_str());
  }
  return rc;
}
