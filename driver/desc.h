// Descriptor handles: the records and their life. (Fields and records are
// the descriptor-field code's.)
#ifndef QMR_DRIVER_DESC_H
#define QMR_DRIVER_DESC_H

#include "driver/handles.h"

// New descriptor. An implicit one (kind 1-4, owned by stmt) also becomes the
// statement's descriptor of its kind. Null when memory runs out, with code
// 16 on the owner.
DescHandle* DESC_Alloc(uint16_t kind, uint16_t allocType, StmtHandle* stmt, ConnHandle* conn);
// Gives the descriptor its number in the descriptor table; 0 or the table's
// code (16, 131).
int DESC_Register(DescHandle* desc);
// Frees a descriptor: statements using an explicit one get their implicit
// ARD/APD back; its number leaves the table before the record is freed.
void DESC_Free(DescHandle* desc);
// Frees every explicit descriptor the connection owns.
void DESC_FreeExplicitOf(ConnHandle* conn);

#endif
