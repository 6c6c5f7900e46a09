// Process-wide locks of the SQL analyser and of the cursor library above it
// (the row-version lists, the fetch-direction question). They are built at
// static-initialisation time and never destroyed, so every caller can take
// them whatever the order of start-up.
#ifndef QMR_SQLAN_SCRLOCK_H
#define QMR_SQLAN_SCRLOCK_H

#include "platform/lock.h"

// Serialises parsing: held from the creation of a parse's identifier table
// until it is freed.
extern plat::Mutex scr_ParseMutex;
// Taken by the parse-tree text generator for the whole of one regeneration.
extern plat::RecursiveMutex scr_TextLock;
// Guards the per-environment lists of connections (SCR_CONNENTRY) and the
// row-version lists; no other lock is taken while it is held.
extern plat::RecursiveMutex scr_RvcLock;
// Held around the one question a cursor asks the agent for its fetch
// directions, so statements of one connection do not ask it at once.
extern plat::Mutex scr_InfoLock;

#endif
