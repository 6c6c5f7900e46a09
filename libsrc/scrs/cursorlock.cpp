#include "scrs/cursorlock.h"

#include "drv_jdbc/j-records.h"

// Made once when the library is loaded and never torn down: a cursor may
// run on any thread at any time after start-up.
plat::RecursiveMutex scr_RvcLock;
plat::Mutex scr_InfoLock;

HASH_TABLE*& SCR_KeyColumnsOf(JdbcConn* c) { return c->keyColCache; }
void*& SCR_CatalogOf(JdbcConn* c) { return c->scrCatalog; }
void*& SCR_ConnListOf(JdbcEnv* e) { return e->scrConnList; }
void*& SCR_RvcListOf(JdbcEnv* e) { return e->rvcList; }
