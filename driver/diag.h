// Diagnostics of the driver's handles: the message records each handle keeps,
// the internal error codes with their SQLSTATEs and messages, the formatting of
// one diagnostic for SQLError / SQLGetDiagRec / SQLGetDiagField, and the
// operations behind those entry points.
#ifndef QMR_DRIVER_DIAG_H
#define QMR_DRIVER_DIAG_H

#include <array>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

#include "util/errcodes.h"

struct EnvHandle;
struct ConnHandle;
struct StmtHandle;
struct DescHandle;

// One message record of a handle. The text is an owned, NUL-terminated copy
// (malloc'd); a text from the agent still carries its "[SQLSTATE:xxxxx]" tag.
// A record without text stands for the internal error code `code`.
// `ownState` is 1 when the record's SQLSTATE is one of the driver's own
// (ODBC 2 form, remapped for ODBC 3 applications) and 0 when the database
// sent it (shown as it came).
struct ErrRec {
  ErrRec* next;
  char* text;
  int32_t native;
  int32_t code;
  uint8_t ownState;
  int64_t row = 0;  // SQL_DIAG_ROW_NUMBER: the parameter set it belongs to (1-based); 0 unknown
};

// The diagnostics embedded in every handle record. `pending` is the internal
// error code a driver operation left behind (0 none); it is reported only
// while the list is empty. `lastRec` is the record number the last
// SQLGetDiagRec / SQLGetDiagField asked for.
struct DiagArea {
  int32_t pending;
  ErrRec* head;
  uint32_t count;
  uint16_t lastRec;
  ErrRec* tail;
};

// Frees every record of a chain together with its text.
void ERR_FreeList(ErrRec* first);

// Empties the list and zeroes the pending code (what the dispatcher does
// before a call whose descriptor asks for it). Inline: most calls find the
// area empty already, and pay no call for it then.
inline void DIAG_Clear(DiagArea* d) {
  if (d == nullptr) return;
  if (d->head != nullptr) ERR_FreeList(d->head);
  d->head = nullptr;
  d->tail = nullptr;
  d->count = 0;
  d->pending = 0;
}

// Appends a copy of `text` with its native code; out of memory drops the
// message silently.
void DIAG_Add(DiagArea* d, const char* text, int32_t native);

// The same, telling whether a tagged SQLSTATE in the text is the driver's
// own (true) or came from the database (false).
void DIAG_AddEx(DiagArea* d, const char* text, int32_t native, bool ownState);

// Appends a record for an internal error code. A pending code that was
// visible (empty list) becomes a record first, so it stays readable.
void DIAG_AddCode(DiagArea* d, int32_t code);

// Makes an internal error code the first diagnostic, ahead of what the area
// holds (a visible pending code becomes the second): the condition that
// ended the call is what the application reads first.
void DIAG_PutFirst(DiagArea* d, int32_t code);

// Removes the first record and hands its text to the caller (free() it);
// null when the list is empty.
char* DIAG_Pop(DiagArea* d, int32_t* native);

// Records in the list (not counting the pending code).
uint32_t DIAG_Count(const DiagArea* d);

// Gives every record without a row number the number `row` (1-based).
void DIAG_SetRowNumber(DiagArea* d, int64_t row);

// The per-kind list operations. Each works on the handle's embedded DiagArea.
void ENV_AddError(EnvHandle* env, const char* text, int32_t native);
void CONN_AddError(ConnHandle* conn, const char* text, int32_t native);
void STMT_AddError(StmtHandle* stmt, const char* text, int32_t native);
void DESC_AddError(DescHandle* desc, const char* text, int32_t native);
char* ENV_PopError(EnvHandle* env, int32_t* native);
char* CONN_PopError(ConnHandle* conn, int32_t* native);
char* STMT_PopError(StmtHandle* stmt, int32_t* native);
char* DESC_PopError(DescHandle* desc, int32_t* native);

struct DRV_Agent;
// Moves the agent's diagnostics for one of its handles (agent slot 2) into
// an area, keeping each record's SQLSTATE origin. Returns the number of
// records added (0 also when the agent has none or the call failed).
uint32_t DIAG_PullAgentErrors(DiagArea* d, const DRV_Agent* agent, uint32_t agentHandle);

// Whether a record of the area reports the connection to the database lost
// (SQLSTATE 08S01, 08003 or 08006).
bool DIAG_ReportsLinkLost(const DiagArea* d);

// The text of the n-th record (1-based; n <= 1 gives the first), not copied,
// or null; its native code through `native` when given.
const char* ERR_GetNth(const ErrRec* first, int n, int32_t* native);

// ---------------------------------------------------------------------------
// Internal error codes.

// One row of the driver's error table: ODBC 2 form SQLSTATE and message.
// Rows the driver never uses have an empty state and a null message.
struct DrvError {
  const char* state;
  const char* message;
};

constexpr int kDrvErrorCount = 189;  // codes 0 .. 188
static_assert(kDrvErrorCount == ERR_CODE_LIMIT, "the driver's table holds every code");
extern const std::array<DrvError, kDrvErrorCount> DrvErrorTable;

// The SQLSTATE (ODBC 2 form) and message of an internal code; codes outside
// the table, or rows without a message, give "S1000" and the "Undefined
// errorcode" text. `msg` receives the full message, NUL-terminated.
void ERR_DescribeCode(int code, char state[6], char* msg, size_t msgSize);

// Rewrites an ODBC 2 form SQLSTATE (5 characters) into its ODBC 3 form in
// place. Only for states the driver itself produced.
void ERR_MapSqlState3(char* state);

// Message prefixes.
extern const char kDiagPrefix[];        // "[Quillmar][ODBC]"
extern const char kDiagDriverPrefix[];  // "[Quillmar][ODBC][Driver]"

// Formats one diagnostic of exactly one of the four handles (tried in the
// order statement, connection, environment, descriptor).
//   state:  6-byte buffer or null; native, lenOut: out pointers or null;
//   msg/msgSize: message buffer (null or size 0: nothing written);
//   mode 1 (SQLError): consumes the first record / the pending code;
//   mode 2 (record-number calls): reads record `lastRec` of the handle.
// Returns 0 (SQL_SUCCESS), 1 (SQL_SUCCESS_WITH_INFO: message cut) or 100
// (SQL_NO_DATA). Whatever is written into msg is NUL-terminated when
// msgSize > 0.
int ERR_GetDiag(EnvHandle* env, ConnHandle* conn, StmtHandle* stmt, DescHandle* desc, char* state,
                int32_t* native, char* msg, int32_t msgSize, int32_t* lenOut, int mode);

// Splits a record text: leading blanks skipped, the message ends where a
// "[SQLSTATE:" tag begins; the state is what follows the tag up to "]" or
// the end, at most 5 characters ("S1000" when there is no tag). `msgLen`
// receives the message length; the return value points at its start.
// `fromAgent` tells whether a tag was present (such states are never
// remapped).
const char* ERR_SplitText(const char* text, size_t* msgLen, char state[6], bool* fromAgent);

// One diagnostic as read from an area: the full message with its prefix,
// the SQLSTATE in the form for the application's ODBC version, the native code.
struct DiagText {
  std::string message;
  char state[6];
  int32_t native;
  int64_t row = 0;  // as ErrRec::row
};

// Reads one diagnostic of an area (mode as for ERR_GetDiag). False when
// there is none (the state then reads "00000").
bool DIAG_Read(DiagArea* d, uint32_t odbcVersion, int mode, DiagText* out);

// ERR_GetDiag on one area.
int DIAG_Format(DiagArea* d, uint32_t odbcVersion, int mode, char* state, int32_t* native,
                char* msg, int32_t msgSize, int32_t* lenOut);

// Copies text into buf of size bytes: whole with its NUL when it fits, else
// cut (on a UTF-8 character boundary) and terminated; nothing at all when
// size is 0 or buf is null. 1 when the text did not fit, else 0.
int DIAG_CopyText(const std::string& text, char* buf, int64_t size);

// ODBC version (2 or 3) that decides the SQLSTATE form for a handle; a
// descriptor without an owner counts as 3.
uint32_t DIAG_EnvVersion(const EnvHandle* env);
uint32_t DIAG_ConnVersion(const ConnHandle* conn);
uint32_t DIAG_StmtVersion(const StmtHandle* stmt);
uint32_t DIAG_DescVersion(const DescHandle* desc);

// ---------------------------------------------------------------------------
// Operations behind the call descriptors. Each takes its handle record and
// the argument list positioned behind the handle:
//   Error:        (SQLCHAR* state, SQLINTEGER* native, SQLCHAR* msg,
//                  SQLSMALLINT size, SQLSMALLINT* len)
//   GetDiagRec:   (SQLSMALLINT rec, SQLCHAR* state, SQLINTEGER* native,
//                  SQLCHAR* msg, SQLSMALLINT size, SQLSMALLINT* len)
//   GetDiagField: (SQLSMALLINT rec, SQLSMALLINT id, SQLPOINTER value,
//                  SQLSMALLINT size, SQLSMALLINT* len, int width)
// (short arguments arrive promoted to int through the variadic list.)
int16_t DRV_ErrorEnvOp(void* handle, va_list ap);
int16_t DRV_ErrorDbcOp(void* handle, va_list ap);
int16_t DRV_ErrorStmtOp(void* handle, va_list ap);
int16_t DRV_GetDiagRecEnvOp(void* handle, va_list ap);
int16_t DRV_GetDiagRecDbcOp(void* handle, va_list ap);
int16_t DRV_GetDiagRecStmtOp(void* handle, va_list ap);
int16_t DRV_GetDiagRecDescOp(void* handle, va_list ap);
int16_t DRV_GetDiagFieldEnvOp(void* handle, va_list ap);
int16_t DRV_GetDiagFieldDbcOp(void* handle, va_list ap);
int16_t DRV_GetDiagFieldStmtOp(void* handle, va_list ap);
int16_t DRV_GetDiagFieldDescOp(void* handle, va_list ap);

#endif
