#include "platform/tls.h"

namespace plat {

bool tls_alloc(TlsKey& key, void (*destructor)(void*)) {
  key.valid = pthread_key_create(&key.key, destructor) == 0;
  return key.valid;
}

void tls_free(TlsKey& key) {
  if (!key.valid) return;
  pthread_key_delete(key.key);
  key.valid = false;
}

void* tls_get(const TlsKey& key) { return key.valid ? pthread_getspecific(key.key) : nullptr; }

bool tls_set(const TlsKey& key, void* value) {
  return key.valid && pthread_setspecific(key.key, value) == 0;
}

}  // namespace plat
