// Thread-local storage slots: one pointer per thread under a key.
#ifndef QMR_PLATFORM_TLS_H
#define QMR_PLATFORM_TLS_H

#include <pthread.h>

namespace plat {

struct TlsKey {
  pthread_key_t key{};
  bool valid = false;
};

// Allocates a slot; every thread starts with null in it. The optional
// destructor runs at a thread's exit for a non-null value.
bool tls_alloc(TlsKey& key, void (*destructor)(void*) = nullptr);
// Frees the slot; the values the threads stored are not touched.
void tls_free(TlsKey& key);
// The calling thread's value, null when unset or the key is not valid.
void* tls_get(const TlsKey& key);
bool tls_set(const TlsKey& key, void* value);

}  // namespace plat

#endif
