// Process-wide locks of the SQL analyser. They are built at
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

#endif
