// Lock rules the compiler checks: clang's thread-safety analysis reads these
// attributes (the build in build/tsa turns its warnings into errors); other
// compilers see nothing.
//
//   CAPABILITY(name)         a lock type
//   SCOPED_CAPABILITY        an RAII holder of a lock
//   GUARDED_BY(lock)         a field or global read and written under lock
//   PT_GUARDED_BY(lock)      what a pointer points to is under lock
//   REQUIRES(lock...)        the caller holds the lock
//   EXCLUDES(lock...)        the caller must not hold it (the function takes it)
//   ACQUIRE / RELEASE        the function takes / gives back the lock
//   TRY_ACQUIRE(ok, lock)    takes the lock when it returns ok
//   ASSERT_CAPABILITY(lock)  checks at run time (debug builds) that the caller
//                            holds it; the analysis takes it as held after
//   RETURN_CAPABILITY(lock)  the function returns that lock
//   ACQUIRED_AFTER(lock...)  the order: this lock is taken only after those
//   ACQUIRED_BEFORE(lock...) (and before these); checked where one function
//                            takes both (or asserts one held), not against
//                            a lock its caller holds by REQUIRES
//   NO_THREAD_SAFETY_ANALYSIS  not checked; every use says why
#ifndef QMR_PLATFORM_THREAD_ANNOTATIONS_H
#define QMR_PLATFORM_THREAD_ANNOTATIONS_H

#if defined(__clang__)
#define QMR_TSA(x) __attribute__((x))
#else
#define QMR_TSA(x)
#endif

#define CAPABILITY(x) QMR_TSA(capability(x))
#define SCOPED_CAPABILITY QMR_TSA(scoped_lockable)
#define GUARDED_BY(x) QMR_TSA(guarded_by(x))
#define PT_GUARDED_BY(x) QMR_TSA(pt_guarded_by(x))
#define REQUIRES(...) QMR_TSA(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) QMR_TSA(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) QMR_TSA(acquire_capability(__VA_ARGS__))
#define RELEASE(...) QMR_TSA(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) QMR_TSA(try_acquire_capability(__VA_ARGS__))
#define ASSERT_CAPABILITY(x) QMR_TSA(assert_capability(x))
#define RETURN_CAPABILITY(x) QMR_TSA(lock_returned(x))
#define ACQUIRED_AFTER(...) QMR_TSA(acquired_after(__VA_ARGS__))
#define ACQUIRED_BEFORE(...) QMR_TSA(acquired_before(__VA_ARGS__))
#define NO_THREAD_SAFETY_ANALYSIS QMR_TSA(no_thread_safety_analysis)

#endif
