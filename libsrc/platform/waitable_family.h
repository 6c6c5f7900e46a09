// Internal to the platform layer: the one mutex and condition variable that
// the whole waitable family shares.
#ifndef QMR_PLATFORM_WAITABLE_FAMILY_H
#define QMR_PLATFORM_WAITABLE_FAMILY_H

#include <condition_variable>
#include <mutex>

namespace plat {
namespace family {

// Created on first use and never destroyed, so threads still running while
// the process exits never meet a destroyed lock.
std::mutex& mutex();
std::condition_variable& cond();

}  // namespace family
}  // namespace plat

#endif
