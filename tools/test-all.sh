#!/usr/bin/env bash
# Builds Tressel and runs every test: the g++ build, the clang build with
# AddressSanitizer and UndefinedBehaviorSanitizer, the fuzz targets for a
# short bounded time, Debian's DVB scanners against the simulated DVB
# frontend, the Windows builds under Wine when MinGW-w64 and Wine are
# installed, the DVB library on the kernel's own DVB driver under QEMU
# (tools/test-vidtv.sh) and the Debian package (tools/test-package.sh); a
# stage whose tools are missing says so and skips. Exits nonzero when
# anything fails.
set -u
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

passed=0
failed=0
stage_failed=()

# Runs one CTest build and adds its counts to the totals.
ctest_stage() {
  local name=$1 dir=$2
  shift 2
  echo "=== $name: configure and build ($dir)"
  if ! cmake -S "$root" -B "$dir" "${generator[@]}" "$@" >"$dir.configure.log" 2>&1; then
    cat "$dir.configure.log"
    stage_failed+=("$name (configure)")
    failed=$((failed + 1))
    return
  fi
  if ! cmake --build "$dir" -j "$jobs"; then
    stage_failed+=("$name (build)")
    failed=$((failed + 1))
    return
  fi
  echo "=== $name: tests"
  local log="$dir.ctest.log"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" 2>&1 | tee "$log"
  local total fails
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  fails=$(sed -n 's/.* \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -n 1)
  if [ -z "$total" ]; then
    stage_failed+=("$name (no test summary)")
    failed=$((failed + 1))
    return
  fi
  passed=$((passed + total - fails))
  failed=$((failed + fails))
  [ "$fails" = 0 ] || stage_failed+=("$name")
}

mkdir -p "$root/build"
ctest_stage "g++ build" "$root/build/gcc" -DCMAKE_CXX_COMPILER=g++

if command -v clang++ >/dev/null 2>&1; then
  ctest_stage "clang build with ASan and UBSan" "$root/build/asan" -DCMAKE_CXX_COMPILER=clang++ \
    -DTRESSEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
else
  echo "=== clang build with ASan and UBSan skipped: clang++ is not installed"
fi

for extra in tools/test-fuzz.sh tools/test-dvb-peers.sh tools/test-windows.sh tools/test-vidtv.sh \
             tools/test-scanners-smoke.sh \
             tools/test-package.sh; do
  if [ -x "$extra" ]; then
    echo "=== $extra"
    log="$root/build/$(basename "$extra" .sh).log"
    "$extra" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    summary=$(tail -n 1 "$log")
    p=$(echo "$summary" | sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed.*/\1/p')
    f=$(echo "$summary" | sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed.*/\2/p')
    if [ "$status" != 0 ] || [ -z "$p" ]; then
      # A stage that failed, or ended without its summary line, is a failure.
      stage_failed+=("$extra (exit $status)")
      failed=$((failed + ${f:-1}))
      passed=$((passed + ${p:-0}))
    else
      passed=$((passed + p))
      failed=$((failed + f))
      [ "$f" = 0 ] || stage_failed+=("$extra")
    fi
  fi
done

echo
if [ ${#stage_failed[@]} -gt 0 ]; then
  echo "Failed: ${stage_failed[*]}"
fi
echo "$passed passed, $failed failed"
[ "$failed" = 0 ] && [ ${#stage_failed[@]} = 0 ]
