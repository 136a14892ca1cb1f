#!/usr/bin/env bash
# The kernel stage: runs tressel with the DVB tuner library against the
# kernel's own DVB core and its virtual driver vidtv, in Debian's kernel under
# QEMU (tools/vidtv-vm.sh), with the cases of tools/vidtv-cases.sh: stepped
# and fast scans checked against vidtv's valid frequencies, a busy frontend,
# and the driver unloaded mid-scan. Debian's dvbv5-scan runs first, to show
# that the kernel side works. Without qemu-system-x86, busybox-static or the
# kernel packages it says what is missing and skips. The last line is
# "N passed, N failed" over the cases.
#
# Environment: VIDTV_BUILD_DIR (default build/gcc; built when it lacks the
# program), TRESSEL_VIDTV_CACHE (see tools/vidtv-vm.sh).
set -u
cd "$(dirname "$0")/.."
root=$(pwd)
build=${VIDTV_BUILD_DIR:-$root/build/gcc}

skip() {
  echo "vidtv stage skipped: $1"
  echo "0 passed, 0 failed"
  exit 0
}

if [ "$(uname -s)" != Linux ] || [ "$(uname -m)" != x86_64 ]; then
  skip "it needs an x86-64 Linux host"
fi
missing=$(tools/vidtv-vm.sh check) || skip "$missing"
command -v dvbv5-scan >/dev/null 2>&1 || echo "vidtv stage: dvb-tools is not installed, its dvbv5-scan case is skipped"

if [ ! -x "$build/bin/tressel" ] || [ ! -f "$build/bin/libTresselDvb.so" ]; then
  generator=()
  command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
  mkdir -p "$build"
  if ! { cmake -S "$root" -B "$build" "${generator[@]}" -DTRESSEL_TESTS=OFF &&
         cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"; } >"$build.vidtv-build.log" 2>&1; then
    tail -n 40 "$build.vidtv-build.log"
    echo "vidtv stage: the build failed"
    echo "0 passed, 1 failed"
    exit 1
  fi
fi
[ -f "$build/bin/libTresselDvb.so" ] || skip "this build has no DVB tuner library"

if ! tools/vidtv-vm.sh prepare; then
  echo "vidtv stage: preparing the kernel failed"
  echo "0 passed, 1 failed"
  exit 1
fi

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
job=$out/job
cat >"$job" <<JOB
#!/bin/bash
export TRESSEL_BIN='$build/bin'
exec bash '$root/tools/vidtv-cases.sh'
JOB
started=$(date +%s)
tools/vidtv-vm.sh run "$job" "$out/vm"
status=$?
cat "$out/vm/job.log" 2>/dev/null
echo "vidtv stage: $(($(date +%s) - started)) s in the machine"
passed=$(grep -c '^ok ' "$out/vm/job.log" 2>/dev/null)
failed=$(grep -c '^FAIL ' "$out/vm/job.log" 2>/dev/null)
if [ "$status" != 0 ] && [ "${failed:-0}" = 0 ]; then
  # The machine or the job broke before a case could say so.
  echo "vidtv stage: the job ended with status $status"
  failed=1
fi
echo "${passed:-0} passed, ${failed:-0} failed"
[ "$status" = 0 ] && [ "${failed:-0}" = 0 ]
