// Internal to the platform layer: the condition variable that the whole
// waitable family shares with its mutex (waitable.h).
#ifndef QMR_PLATFORM_WAITABLE_FAMILY_H
#define QMR_PLATFORM_WAITABLE_FAMILY_H

#include <condition_variable>

#include "platform/waitable.h"

namespace plat {
namespace family {

// Created on first use and never destroyed, so threads still running while
// the process exits never meet a destroyed lock.
// Waits with plat::UniqueLock<Mutex> on family::mutex().
std::condition_variable_any& cond();

}  // namespace family
}  // namespace plat

#endif
