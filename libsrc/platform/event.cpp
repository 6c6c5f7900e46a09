#include "platform/event.h"

#include "platform/waitable_family.h"

namespace plat {

void Event::set() {
  Guard<Mutex> g(family::mutex());
  set_ = true;
  family::cond().notify_all();
}

void Event::reset() {
  Guard<Mutex> g(family::mutex());
  set_ = false;
}

}  // namespace plat
