// The cursor library's process-wide locks: made when the library is loaded
// (constant initialisation) and never torn down, so any caller may take
// them, whatever the order of start-up.
#ifndef QMR_SCRS_CURSORLOCK_H
#define QMR_SCRS_CURSORLOCK_H

#include "platform/lock.h"

// Guards the per-environment lists of connections (SCR_CONNENTRY), the
// row-version lists and a connection's key-column and catalog caches; no
// other lock is taken while it is held.
extern plat::RecursiveMutex scr_RvcLock;
// Held around the one question a cursor asks the agent for its fetch
// directions, so statements of one connection do not ask it at once.
extern plat::Mutex scr_InfoLock;

struct HASH_TABLE;
struct JdbcConn;
struct JdbcEnv;

// The library's fields of the agent's records, which that layer cannot mark
// with a lock it does not know: every use goes through these, so the
// analysis sees scr_RvcLock held.
HASH_TABLE*& SCR_KeyColumnsOf(JdbcConn* c) REQUIRES(scr_RvcLock);  // key-column cache
void*& SCR_CatalogOf(JdbcConn* c) REQUIRES(scr_RvcLock);           // catalog cache
void*& SCR_ConnListOf(JdbcEnv* e) REQUIRES(scr_RvcLock);           // SCR_CONNENTRY list
void*& SCR_RvcListOf(JdbcEnv* e) REQUIRES(scr_RvcLock);            // row-version list

#endif
