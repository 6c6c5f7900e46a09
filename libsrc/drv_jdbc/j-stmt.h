// Agent statement records: allocation and freeing, closing the result,
// cursor names, and handing the result-column and parameter descriptions
// and the column attributes to the core.
//
// Ownership: a statement owns its Java objects (global references), its
// column and parameter descriptions, its SQL text, its bindings, its
// fetched-value buffer (malloc) and its row buffer and parameter value set
// (COLSETs made with new).
#ifndef QMR_DRV_JDBC_J_STMT_H
#define QMR_DRV_JDBC_J_STMT_H

#include <cstdint>

#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-records.h"

// The ten column attributes the agent describes, in entry order: the code
// (negative: not answered by the agent), the kind and the initial value.
struct ColAttrTemplateEntry {
  int16_t code;
  int16_t kind;  // ATTR_KIND_INT or ATTR_KIND_TEXT
  uint32_t value;
};
constexpr int COL_ATTR_COUNT = 11;
extern const ColAttrTemplateEntry ColAttrTemplate[COL_ATTR_COUNT];

// The statement of a handle, with the calling thread attached and its JNI
// environment kept on the record: ERR_INVALID_ARGUMENT for a handle the
// agent does not hold, ERR_GENERAL when the thread cannot be attached.
uint32_t enterStmt(uint32_t h, JdbcStmt** out);

// Closes the current result: the ResultSet and its metadata go, the row
// position and counters start again. The Java statement stays.
void resetStmtResult(JdbcStmt* s);
// resetStmtResult, then the Java statement, the descriptions and the
// parameter set go too; the record stays reusable.
void closeStmtObjects(JdbcStmt* s);
// Every replacement or freeing of s->cols goes through here: the core keeps
// its copy of a description across executes only while this number holds.
void stmtColsReplaced(JdbcStmt* s);
// INFO_COLS_GENERATION's answer: 0 where the copies handed out are adjusted
// after the agent's description (and so cannot be told apart by it).
uint32_t stmtColsGeneration(const JdbcStmt* s);
// Frees a statement's record and everything it owns (its Java objects must
// be closed already) and removes it from its connection's list; the caller
// frees its handle.
void freeStmtRec(JdbcStmt* s);

extern "C" {
uint32_t DRV_AllocStmt(uint32_t conn, uint32_t* stmt);
uint32_t DRV_FreeStmt(uint32_t stmt);
uint32_t DRV_CloseCursor(uint32_t stmt);
uint32_t DRV_GetCursorName(uint32_t stmt, char* buf, uint16_t size, uint16_t* length);
uint32_t DRV_SetCursorName(uint32_t stmt, const char* name);
uint32_t DRV_NumResultCols(uint32_t stmt, uint16_t* count, JdbcColDesc** descs);
uint32_t DRV_DescribeCols(uint32_t stmt, uint16_t* count, JdbcColDesc** descs);
uint32_t DRV_ColAttributes(uint32_t stmt, uint16_t* count, uint16_t* nattrs, JdbcColDesc** descs,
                           ATTR_ENTRY** attrs);
}

#endif
