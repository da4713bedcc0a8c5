#!/usr/bin/env bash
# The whole test suite, as CI runs it: installs what is missing, builds, runs the unit
# tests plainly, under ASan + UBSan and (threaded ones) under TSan, runs the fuzzers
# briefly and the end-to-end tests, then prints every runner's summary line.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh || exit 1

jobs=${JOBS:-2}
status=0
summary=()
log=$(mktemp -d)

# run NAME CMD...: runs one step, keeps its exit status and its runner's summary line.
run() {
  local name=$1; shift
  echo "=== $name"
  "$@" 2>&1 | tee "$log/$name.out"
  local rc=${PIPESTATUS[0]}
  [ "$rc" -ne 0 ] && status=1
  local line
  line=$(grep -E 'tests passed|tests failed|[0-9]+ (passed|failed)|no tests ran' "$log/$name.out" | tail -n 1)
  summary+=("$name: ${line:-exit $rc}")
  return "$rc"
}

build() {  # build DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null && cmake --build "$dir" -j"$jobs"
}

if run build build build; then
  run unit ctest --test-dir build --output-on-failure -j"$jobs" --timeout 300
fi
if run build-asan build build-asan -DSANITIZE=address; then
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run unit-asan ctest --test-dir build-asan --output-on-failure -j"$jobs" --timeout 300
fi
if run build-tsan build build-tsan -DSANITIZE=thread; then
  # TSan needs the address-space layout its shadow memory expects.
  TSAN_OPTIONS=halt_on_error=1 run unit-tsan setarch "$(uname -m)" -R \
    ctest --test-dir build-tsan --output-on-failure -j"$jobs" --timeout 300
fi
if run build-fuzz build build-fuzz -DFUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++; then
  run fuzz scripts/run-fuzzers.sh build-fuzz 5
fi
run e2e scripts/run-e2e.sh

echo
echo "=== summary"
printf '%s\n' "${summary[@]}"
rm -rf "$log"
exit $status
