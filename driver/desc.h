// Descriptor handles: the records and their life. The field-by-field rules
// are driver/descfield.h's.
//
// Where the statement-side values live: the records of a statement's
// current ARD and APD are its column and parameter bindings (a record whose
// data pointer is set is bound); SQL_ATTR_ROWS_FETCHED_PTR and
// SQL_ATTR_PARAMS_PROCESSED_PTR are the rows-processed pointers of the IRD
// and the IPD, SQL_ATTR_PARAMSET_SIZE and the parameter bind type and
// offset are the APD's header, SQL_ATTR_ROW_BIND_OFFSET_PTR and
// SQL_ATTR_ROW_OPERATION_PTR the ARD's; the rowset size is the cursor
// state's (stmt->cursor.rowsetSize) and the row bind type stmt->bindType,
// which the implicit ARD answers and an installed ARD sets.
#ifndef QMR_DRIVER_DESC_H
#define QMR_DRIVER_DESC_H

#include "driver/handles.h"

// New descriptor with its record 0. An implicit one (kind 1-4, owned by
// stmt) also becomes the statement's descriptor of its kind. Null when
// memory runs out, with ERR_NO_MEMORY on the owner.
DescHandle* DESC_Alloc(uint16_t kind, uint16_t allocType, StmtHandle* stmt, ConnHandle* conn);
// Gives the descriptor its number in the descriptor table; 0 or the table's
// code (ERR_NO_MEMORY, ERR_HANDLE_LIMIT).
int DESC_Register(DescHandle* desc);
// Frees a descriptor: statements using an explicit one get their implicit
// ARD/APD back (re-applied); its number leaves the table before the record
// is freed.
void DESC_Free(DescHandle* desc);
// Frees every explicit descriptor the connection owns.
void DESC_FreeExplicitOf(ConnHandle* conn);

// Records above record 0.
int DESC_Count(const DescHandle* desc);
// Record n, or null when there is none.
DescRec* DESC_GetRec(DescHandle* desc, int n);
// Appends records with the kind's defaults until there are n above record 0 and
// the count field says so; 0 or ERR_NO_MEMORY (the records added so far stay).
int DESC_Grow(DescHandle* desc, int n);
// Frees every record above record n (n >= 0).
void DESC_Truncate(DescHandle* desc, int n);
// Withdraws the record's pointers and name.
void DESC_RecClear(DescRec* rec);
// The defaults of the descriptor's kind: type and concise type SQL_C_DEFAULT
// for ARD and APD records, parameter type input for IPD records.
void DESC_RecInit(const DescHandle* desc, DescRec* rec);

// Re-applies an ARD (APD) to its statement after it became current: the
// header values the statement keeps beside the descriptor. 0 or ERR_GENERAL.
int DESC_RebindCols(StmtHandle* stmt, DescHandle* ard);
int DESC_RebindParams(StmtHandle* stmt, DescHandle* apd);

// The statement's parameter binding n (1-based): record n of its current
// APD when there is one; null otherwise.
DescRec* DESC_RecAt(int n, StmtHandle* stmt);
// The statement's column binding n (0 = bookmark): record n of its current
// ARD when its data pointer is set; null otherwise.
DescRec* DESC_FindRec(int n, StmtHandle* stmt);

// Statements of the descriptor's connection that use the explicit
// descriptor as ARD (asArd) or APD. Callers run inside the connection's
// call, so its statement list does not change meanwhile; the walk itself
// holds the call lock, under which statements are linked and unlinked.
std::vector<StmtHandle*> DESC_UsersOf(const DescHandle* desc, bool asArd);

// The trace name of the kind: "IRD", "ARD", "IPD", "APD", "USER".
const char* DESC_KindName(const DescHandle* desc);

#endif
