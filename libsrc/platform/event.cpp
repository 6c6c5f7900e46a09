#include "platform/event.h"

#include "platform/waitable_family.h"

namespace plat {

void Event::set() {
  std::lock_guard<std::mutex> g(family::mutex());
  set_ = true;
  family::cond().notify_all();
}

void Event::reset() {
  std::lock_guard<std::mutex> g(family::mutex());
  set_ = false;
}

}  // namespace plat
