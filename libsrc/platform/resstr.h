// Resource strings: each library registers its own static table of
// numbered texts, and load_string() reads them as LoadString does.
#ifndef QMR_PLATFORM_RESSTR_H
#define QMR_PLATFORM_RESSTR_H

#include <cstddef>

namespace plat {

struct StringEntry {
  unsigned id;
  const char* text;  // UTF-8
};

// Makes the table's strings loadable. The table must stay valid for the
// life of the process (a static array). Registering the same table again
// does nothing; where two tables hold one id, the later registration wins.
void register_string_table(const StringEntry* table, size_t count);

// Copies string id into buf, at most size - 1 bytes and never half a UTF-8
// sequence, and terminates it. Returns the number of bytes copied; 0 when
// the id is unknown (buf then holds ""), or buf is null or size < 1.
int load_string(unsigned id, char* buf, int size);

}  // namespace plat

#endif
