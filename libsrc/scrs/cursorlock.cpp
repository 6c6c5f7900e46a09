#include "scrs/cursorlock.h"

// Made once when the library is loaded and never torn down: a cursor may
// run on any thread at any time after start-up.
plat::RecursiveMutex scr_RvcLock;
plat::Mutex scr_InfoLock;
