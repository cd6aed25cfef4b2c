#!/usr/bin/env bash
# Non-blank lines of .cpp/.h/.sh/.py in tests/ and fuzz/ against the rest of the repository
# (build folders left out); fails when the tests pass MAX times the code (default 0.35).
set -euo pipefail
cd "$(dirname "$0")/.."
max=${1:-0.35}
count() { find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.sh' -o -name '*.py' \) -print0 |
  xargs -0 cat | grep -c '[^[:space:]]'; }
tests=$(count tests fuzz)
code=$(count . -path ./tests -prune -o -path ./fuzz -prune -o -path './build*' -prune -o -path ./.git -prune -o)
echo "test lines $tests, code lines $code, ratio $(awk -v t="$tests" -v c="$code" 'BEGIN { printf "%.3f", t / c }') (at most $max)"
awk -v t="$tests" -v c="$code" -v m="$max" 'BEGIN { exit !(t <= m * c) }' || { echo "tests exceed $max of the code" >&2; exit 1; }
