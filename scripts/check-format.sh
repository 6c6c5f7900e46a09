#!/bin/sh
# The tree keeps one format: clang-format 14 with the style in .clang-format.
# A file that differs fails the check; the message names the command that
# mends it. Another clang-format version formats some constructs differently,
# so the check insists on 14.
set -eu
cd "$(dirname "$0")/.."
CF=${CLANG_FORMAT:-clang-format-14}
if ! command -v "$CF" >/dev/null 2>&1; then
  echo "check-format: $CF is not installed (make deps installs it)" >&2
  exit 1
fi
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  files=$(git ls-files '*.cpp' '*.cc' '*.c' '*.h' '*.hpp')
else
  files=$(find bench driver libsrc shlib tests xa -type f \
    \( -name '*.cpp' -o -name '*.cc' -o -name '*.c' -o -name '*.h' -o -name '*.hpp' \))
fi
# One run over every file; clang-format names each line that differs.
# shellcheck disable=SC2086
out=$(mktemp)
trap 'rm -f "$out"' EXIT
if ! "$CF" --dry-run --Werror $files 2>"$out"; then
  grep -E ': (warning|error):' "$out" | cut -d: -f1 | sort -u | sed 's/^/  /' >&2
  echo "check-format: the files above differ from .clang-format;" \
    "mend with: $CF -i FILE..." >&2
  exit 1
fi
