#include "sqlan/scrlock.h"

// Made once when the library is loaded and never torn down: a parse may run
// on any thread at any time after start-up.
plat::Mutex scr_ParseMutex;
plat::RecursiveMutex scr_TextLock;
