#!/bin/sh
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) in build/fuzz
# and runs each from its seeds: the SQL analyser for twice FUZZ_SECONDS (its
# grammar is the largest input), every other target for FUZZ_SECONDS
# (default 30). FUZZ_TARGETS picks some of them (default: all).
# Any crash, leak, sanitizer report, hang or broken check fails the run.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${FUZZ_BUILD:-$ROOT/build/fuzz}
SECONDS_EACH=${FUZZ_SECONDS:-30}
TARGETS=${FUZZ_TARGETS:-"sql escape connstr paramtext"}
JOBS=${JOBS:-$(nproc)}

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$ROOT/tests/fuzz" -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug >/dev/null
fi

for t in $TARGETS; do
  cmake --build "$BUILD" -j "$JOBS" --target "${t}_fuzz"
done

# The corpus grows in the build tree; the seeds in the source tree stay as
# they are.
for t in $TARGETS; do
  seconds=$SECONDS_EACH
  [ "$t" = sql ] && seconds=$((SECONDS_EACH * 2))
  mkdir -p "$BUILD/corpus/$t" "$BUILD/artifacts/$t"
  echo "== fuzzing $t for $seconds s"
  (cd "$BUILD" &&
   ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
   UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
     "./${t}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
       -artifact_prefix="$BUILD/artifacts/$t/" -print_final_stats=1 \
       "$BUILD/corpus/$t" "$ROOT/tests/fuzz/seeds/$t")
done
