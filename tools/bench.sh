#!/usr/bin/env bash
# Builds the benchmarks (Release, -DTRESSEL_BENCHMARKS=ON, Google Benchmark
# from libbenchmark-dev) and runs them. Not part of the tests: the figures
# depend on the machine. Arguments are passed to the benchmark program, e.g.
#   tools/bench.sh --benchmark_filter=WriteTpList
# Environment: BENCH_BUILD_DIR (default build/bench), CXX compiler as usual.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
build=${BENCH_BUILD_DIR:-$root/build/bench}
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DTRESSEL_BENCHMARKS=ON >/dev/null
cmake --build "$build" --target tressel_bench
if [ ! -x "$build/bin/tressel_bench" ]; then
  echo "benchmarks not built: is Google Benchmark (libbenchmark-dev) installed?" >&2
  exit 1
fi
echo "machine: $(nproc 2>/dev/null || echo '?') CPUs, $(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -n 1)"
exec "$build/bin/tressel_bench" "$@"
