#!/bin/sh
# Builds the SQL analyser's fuzz target with clang (libFuzzer, ASan, UBSan)
# in build/fuzz and runs it for FUZZ_SECONDS (default 60) from the seeds.
# Any crash, leak, sanitizer report or broken fixed point fails the run.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${FUZZ_BUILD:-$ROOT/build/fuzz}
SECONDS_TO_RUN=${FUZZ_SECONDS:-60}
JOBS=${JOBS:-$(nproc)}

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$ROOT/tests/fuzz" -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug >/dev/null
fi
cmake --build "$BUILD" -j "$JOBS" --target scrs_fuzz

# The corpus grows in the build tree; the seeds in the source tree stay as
# they are.
mkdir -p "$BUILD/corpus" "$BUILD/artifacts"
cd "$BUILD"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ./scrs_fuzz -max_total_time="$SECONDS_TO_RUN" -timeout=10 -rss_limit_mb=4096 \
    -artifact_prefix="$BUILD/artifacts/" -print_final_stats=1 \
    "$BUILD/corpus" "$ROOT/tests/fuzz/seeds"
