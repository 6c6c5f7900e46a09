// The per-build strings, as a test build of the core supplies them.
#include "driver/startup.h"

const char* DRV_BuildDescription() { return "Quillmar Informix Driver (Velkaro)(Unicode)"; }
const char* DRV_BuildFileName() { return "libxbifxu.so"; }
