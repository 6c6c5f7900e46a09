// The per-connection cache of SQLGetInfo answers: the agent is asked once
// per connection and information type; a reset (disconnect, release) empties
// it. Which entry a type uses is driver/info.cpp's business; the cache only
// keeps numbered entries of the three forms.
#ifndef QMR_DRIVER_INFO_CACHE_H
#define QMR_DRIVER_INFO_CACHE_H

#include <array>
#include <cstdint>
#include <memory>
#include <string>

struct ConnInfoCache {
  static constexpr int kInts = 120;
  static constexpr int kShorts = 40;
  static constexpr int kTexts = 40;

  std::array<int32_t, kInts> ints;                         // -1: not asked yet
  std::array<int16_t, kShorts> shorts;                     // -1: not asked yet
  std::array<std::unique_ptr<std::string>, kTexts> texts;  // null: not asked yet

  ConnInfoCache() { reset(); }
  void reset() {
    ints.fill(-1);
    shorts.fill(-1);
    for (auto& t : texts) t.reset();
  }
};

#endif
