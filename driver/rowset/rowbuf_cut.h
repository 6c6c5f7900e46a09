// Rewriting a row buffer in place: wide text made 8-bit for an agent that
// takes none, and character, wide-character and byte values cut to a
// maximum length.
#ifndef QMR_DRIVER_ROWSET_ROWBUF_CUT_H
#define QMR_DRIVER_ROWSET_ROWBUF_CUT_H

#include <cstdint>

#include "drv_jdbc/drv_agent.h"
#include "util/colset.h"

// Turns every UTF-16 column (types 24 to 27) into UTF-8 text: 24 and 25 become
// NUL-terminated (17), 26 out-of-line text with its length in bytes (15), 27
// u32 byte length and text (20). Rows without a value (NULL, data at execution,
// deferred) are left alone. Every value arrives whole: where the UTF-8 form is
// longer than the element holds, the column's elements are widened. 0, or
// ERR_NO_MEMORY when memory runs out (the failing column is then left as it
// was; columns before it are converted).
int RB_NarrowWideCols(COLSET* set);

// Cuts every character, wide-character and byte value to at most maxLen bytes
// (characters for the wide types), never inside a UTF-8 sequence or a surrogate
// pair. Fixed-width columns wider than that become length-prefixed first
// (ColSetResizeColumn). 0, the resize's code, or ERR_GENERAL when a column that
// had to become prefixed is still fixed-width.
int RB_GrowColBuffers(COLSET* set, uint32_t maxLen);

// The descriptions an agent without wide text gets: wide SQL types and the
// wide C type become their 8-bit forms.
void ParamDescsNarrowTypes(JdbcColBind* descs, uint16_t count);

#endif
