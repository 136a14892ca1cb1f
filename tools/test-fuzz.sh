#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, -DTRESSEL_FUZZ=ON) and runs each for a
# short bounded time from its seed corpus in tests/fuzz/corpus/<target>/.
# New inputs go to a working corpus in the build directory, never into the
# repository; a crash, leak, timeout or out-of-memory input is kept there as
# an artifact. The last line is "N passed, N failed" over the targets; the
# exit status is nonzero when one failed.
#
# Environment: FUZZ_SECONDS (default 30) per target, FUZZ_RSS_MB (default
# 2048), FUZZ_BUILD_DIR (default build/fuzz), FUZZ_TARGETS (default all).
set -u
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${FUZZ_SECONDS:-30}
rss_mb=${FUZZ_RSS_MB:-2048}
build=${FUZZ_BUILD_DIR:-$root/build/fuzz}
targets=${FUZZ_TARGETS:-"fuzz_ini_reader fuzz_band_file fuzz_writers fuzz_history"}

skip() {
  echo "fuzz targets skipped: $1"
  echo "0 passed, 0 failed"
  exit 0
}

command -v clang++ >/dev/null 2>&1 || skip "clang++ is not installed"
probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
printf '%s\n' '#include <cstdint>' '#include <cstddef>' \
  'extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }' >"$probe_dir/probe.cpp"
clang++ -fsanitize=fuzzer,address,undefined "$probe_dir/probe.cpp" -o "$probe_dir/probe" >/dev/null 2>&1 ||
  skip "clang++ cannot link with libFuzzer (install libclang-rt-dev)"

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
mkdir -p "$build"
if ! cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_CXX_COMPILER=clang++ -DTRESSEL_FUZZ=ON \
     -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build/configure.log" 2>&1; then
  cat "$build/configure.log"
  echo "fuzz build: configure failed"
  echo "0 passed, 1 failed"
  exit 1
fi

passed=0
failed=0
for target in $targets; do
  echo "=== $target"
  if ! cmake --build "$build" --target "$target" >"$build/$target.build.log" 2>&1; then
    tail -n 40 "$build/$target.build.log"
    echo "$target: build failed"
    failed=$((failed + 1))
    continue
  fi
  seeds="$root/tests/fuzz/corpus/${target#fuzz_}"
  work="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  mkdir -p "$work" "$artifacts"
  log="$build/$target.log"
  # -timeout: one input that takes this long counts as a hang.
  if "$build/bin/$target" -max_total_time="$seconds" -rss_limit_mb="$rss_mb" -timeout=10 \
       -max_len=16384 -print_final_stats=1 -artifact_prefix="$artifacts/" \
       "$work" "$seeds" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$log" | tail -n 2
    echo "$target: passed"
    passed=$((passed + 1))
  else
    grep -v '^virtual tuner: ' "$log" | tail -n 60
    echo "$target: FAILED (artifacts in $artifacts)"
    failed=$((failed + 1))
  fi
done

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
