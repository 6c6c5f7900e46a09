#include "platform/resstr.h"

#include <cstring>
#include <utility>
#include <vector>

#include "platform/lock.h"

namespace plat {

namespace {

struct Tables {
  Mutex m;
  std::vector<std::pair<const StringEntry*, size_t>> list GUARDED_BY(m);
};

Tables& tables() {
  static Tables* t = new Tables;
  return *t;
}

const char* find(unsigned id) {
  Tables& t = tables();
  Guard<Mutex> g(t.m);
  for (auto it = t.list.rbegin(); it != t.list.rend(); ++it)
    for (size_t i = 0; i < it->second; ++i)
      if (it->first[i].id == id) return it->first[i].text;
  return nullptr;
}

// Shortens n so that it does not end inside a UTF-8 sequence.
size_t utf8_cut(const char* s, size_t n, size_t full) {
  if (n >= full) return full;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return n;
}

}  // namespace

void register_string_table(const StringEntry* table, size_t count) {
  if (!table || count == 0) return;
  Tables& t = tables();
  Guard<Mutex> g(t.m);
  for (const auto& e : t.list)
    if (e.first == table) return;
  t.list.emplace_back(table, count);
}

int load_string(unsigned id, char* buf, int size) {
  if (!buf || size < 1) return 0;
  const char* text = find(id);
  if (!text) {
    buf[0] = '\0';
    return 0;
  }
  const size_t full = std::strlen(text);
  const size_t n = utf8_cut(text, static_cast<size_t>(size - 1), full);
  std::memcpy(buf, text, n);
  buf[n] = '\0';
  return static_cast<int>(n);
}

}  // namespace plat
