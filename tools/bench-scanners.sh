#!/usr/bin/env bash
# Side by side with the Linux scanners (a benchmark, not a test): scans one
# band with w_scan (package w-scan), dvbv5-scan (package dvb-tools, given the
# band's channel list, as its users do) and tressel with the DVB tuner library
# (stepped and fast), all on the simulated DVB frontend (libTresselDvbSim.so
# preloaded) with realistic carrier and lock times, in real time. Prints for
# each tool the transponders it found of those in the band, the wall time and
# the ratio of that time to the fast tressel scan's.
#
#   tools/bench-scanners.sh           a UHF band (channels 21-69) with DVB-T
#                                     and DVB-T2 multiplexes, and a cable band
#   tools/bench-scanners.sh --smoke   one tiny band: checks that every tool
#                                     runs and finds it (for the test command;
#                                     w_scan, which always sweeps the whole
#                                     country band, runs 20 times faster
#                                     under libfaketime there)
#
# Environment: BENCH_BUILD_DIR (default build/gcc), BENCH_TIMEOUT (seconds a
# tool may take, default 1800).
set -u
cd "$(dirname "$0")/.."
root=$(pwd)
build=${BENCH_BUILD_DIR:-$root/build/gcc}
limit=${BENCH_TIMEOUT:-1800}
smoke=0
[ "${1:-}" = --smoke ] && smoke=1

skip() {
  echo "scanner benchmark skipped: $1"
  [ "$smoke" = 1 ] && echo "0 passed, 0 failed"
  exit 0
}

[ "$(uname -s)" = Linux ] || skip "the simulated DVB frontend exists on Linux only"
missing=()
command -v dvbv5-scan >/dev/null 2>&1 || missing+=("dvb-tools")
command -v w_scan >/dev/null 2>&1 || missing+=("w-scan")
[ ${#missing[@]} = 0 ] || skip "missing packages: ${missing[*]}"
if [ ! -f "$build/bin/libTresselDvbSim.so" ] || [ ! -f "$build/bin/libTresselDvb.so" ] ||
   [ ! -x "$build/bin/tressel" ]; then
  generator=()
  command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
  { cmake -S "$root" -B "$build" "${generator[@]}" -DTRESSEL_TESTS=OFF &&
    cmake --build "$build" -j 2; } >"$build.bench-build.log" 2>&1 ||
    { tail -n 30 "$build.bench-build.log"; echo "0 passed, 1 failed"; exit 1; }
fi
bin=$build/bin
sim=$bin/libTresselDvbSim.so
w_scan_preload=$sim
if [ "$smoke" = 1 ]; then
  for candidate in /usr/lib/*/faketime/libfaketime.so.1; do
    [ -f "$candidate" ] && { w_scan_preload="$sim $candidate"; break; }
  done
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One transponder of a band file: section, kHz, standard, modulation,
# carrier ms, lock ms, symbol rate (cable) or PLP ids (DVB-T2).
transponder() {
  printf '[Transponder%s]\nFrequency=%s\nBandwidth=8000\nStandard=%s\nModulation=%s\nCarrierMs=%s\nLockMs=%s\nRfLevel=-55\nSnr=30\n' \
    "$1" "$2" "$3" "$4" "$5" "$6"
  case $3 in
    8) printf 'SymbolRate=%s\n' "$7" ;;
    7) printf 'PlpIds=%s\n' "$7" ;;
  esac
  printf '\n'
}

# Terrestrial: DVB-T locks in about half a second, DVB-T2 in about a second
# and a half (a real demodulator's figures); cable in a third of a second.
write_bands() {
  printf '[Devices]\nName0=Simulated DVB-T/T2/C frontend\n\n' >"$work/uhf.ini"
  printf '[Devices]\nName0=Simulated DVB-T/T2/C frontend\n\n' >"$work/cable.ini"
  if [ "$smoke" = 1 ]; then
    transponder 0 490000 6 20 100 400 >>"$work/uhf.ini"
    transponder 0 346000 8 22 50 300 6900000 >>"$work/cable.ini"
    uhf_start=474000 uhf_stop=506000 cable_start=338000 cable_stop=354000
  else
    local n=0 t
    for t in "474000 6 20 150 500" "490000 7 22 250 1500 0" "522000 6 20 150 500" \
             "578000 7 22 250 1500 0,1" "626000 6 20 150 500" "698000 7 22 250 1500 0" \
             "746000 6 18 150 500"; do
      # shellcheck disable=SC2086
      transponder $n $t >>"$work/uhf.ini"
      n=$((n + 1))
    done
    n=0
    for t in "306000 8 22 50 300 6900000" "346000 8 22 50 300 6900000" "386000 8 20 50 300 6875000" \
             "434000 8 20 50 300 6875000" "450000 8 22 50 300 6900000"; do
      # shellcheck disable=SC2086
      transponder $n $t >>"$work/cable.ini"
      n=$((n + 1))
    done
    uhf_start=474000 uhf_stop=858000 cable_start=114000 cable_stop=858000
  fi
}

# The frequencies (kHz) of a band file, one a line.
band_frequencies() {
  sed -n 's/^Frequency=//p' "$1" | sort -n
}

# The value of a key of the transponder at frequency $2 (kHz) of band $1.
band_key() {
  awk -v f="$2" -v k="$3" -F= '/^Frequency=/ { on = ($2 == f) } on && $1 == k { print $2; exit }' "$1"
}

# dvbv5-scan's channel list: every transponder of the band, in its system.
channel_list() {
  local band=$1 kind=$2 f
  for f in $(band_frequencies "$band"); do
    if [ "$kind" = uhf ]; then
      local system=DVBT
      [ "$(band_key "$band" "$f" Standard)" = 7 ] && system=DVBT2
      printf '[%s]\n\tDELIVERY_SYSTEM = %s\n\tFREQUENCY = %s000\n\tBANDWIDTH_HZ = 8000000\n\n' "$f" "$system" "$f"
    else
      local rate
      rate=$(band_key "$band" "$f" SymbolRate)
      printf '[%s]\n\tDELIVERY_SYSTEM = DVBC/ANNEX_A\n\tFREQUENCY = %s000\n\tSYMBOL_RATE = %s\n\n' "$f" "$f" "$rate"
    fi
  done
}

# How many of the band's frequencies a list of found kHz values holds
# (within 250 kHz).
count_found() {
  local band=$1 found=$2 f n=0
  for f in $(band_frequencies "$band"); do
    awk -v f="$f" '{ d = $1 - f; if (d < 0) d = -d; if (d <= 250) hit = 1 } END { exit !hit }' "$found" &&
      n=$((n + 1))
  done
  echo "$n"
}

now_ms() { date +%s%3N; }

# Runs one tool on a band; appends "tool|found|total|ms" to the results.
# The found frequencies (kHz) go to $work/found.
measure() {
  local label=$1 band=$2 kind=$3 dir=$work/$kind-${1// /-}
  mkdir -p "$dir"
  : >"$work/found"
  local start end status
  start=$(now_ms)
  case $label in
    w_scan)
      local flag=-ft
      [ "$kind" = cable ] && flag=-fc
      (cd "$dir" && LD_PRELOAD="$w_scan_preload" FAKETIME="+0 x20" TRESSEL_VIRTUAL_BAND="$band" \
         timeout "$limit" w_scan "$flag" -c DE \
         </dev/null >"$dir/out" 2>"$dir/log")
      status=$?
      awk -F: 'NF > 8 { print $2 }' "$dir/out" | sort -un >"$work/found"
      ;;
    dvbv5-scan)
      channel_list "$band" "$kind" >"$dir/channels.conf"
      (cd "$dir" && LD_PRELOAD="$sim" TRESSEL_VIRTUAL_BAND="$band" timeout "$limit" dvbv5-scan \
         -o "$dir/out" "$dir/channels.conf" </dev/null >"$dir/log" 2>&1)
      status=$?
      sed -n 's/^\tFREQUENCY = \([0-9]*\)[0-9][0-9][0-9]$/\1/p' "$dir/out" 2>/dev/null | sort -un >"$work/found"
      ;;
    tressel*)
      local fast=0 s=$uhf_start e=$uhf_stop std=0
      [ "$label" = "tressel fast" ] && fast=1
      [ "$kind" = cable ] && { s=$cable_start; e=$cable_stop; std=3; }
      printf '[Options]\nDevice=0\nFastScan=%s\nIniFormat=5\nInfoFormat=0\n[LocInfo]\nLocName=Band\n[Scan0]\nStart=%s\nStop=%s\nStep=8\nStd=%s\n' \
        "$fast" "$s" "$e" "$std" >"$dir/Tressel.ini"
      (cd "$dir" && LD_PRELOAD="$sim" TRESSEL_VIRTUAL_BAND="$band" TRESSEL_TUNER_LIBRARY=dvb \
         timeout "$limit" "$bin/tressel" "$dir/Tressel.ini" </dev/null >"$dir/out" 2>"$dir/log")
      status=$?
      awk '$1 !~ /^#/ && NF > 2 { print int($2 / 1000) }' "$dir/Band.ini" 2>/dev/null | sort -un >"$work/found"
      ;;
  esac
  end=$(now_ms)
  [ "$status" = 124 ] && echo "$label on the $kind band: stopped after $limit s" >&2
  echo "$label|$(count_found "$band" "$work/found")|$(band_frequencies "$band" | wc -l)|$((end - start))|$status" \
    >>"$work/results-$kind"
}

write_bands
passed=0
failed=0
for kind in uhf cable; do
  band=$work/$kind.ini
  for tool in w_scan dvbv5-scan "tressel stepped" "tressel fast"; do
    measure "$tool" "$band" "$kind"
  done
  fast_ms=$(awk -F'|' '$1 == "tressel fast" { print $4 }' "$work/results-$kind")
  if [ "$kind" = uhf ]; then
    echo "UHF band, channels 21-69 ($uhf_start-$uhf_stop kHz): $(band_frequencies "$band" | wc -l) DVB-T and DVB-T2 transponders"
  else
    echo "Cable band ($cable_start-$cable_stop kHz): $(band_frequencies "$band" | wc -l) DVB-C transponders"
  fi
  echo
  echo "| Tool | Found | Wall time | Time / Tressel fast |"
  echo "|---|---|---|---|"
  while IFS='|' read -r tool found total ms status; do
    ratio=$(awk -v a="$ms" -v b="$fast_ms" 'BEGIN { printf "%.1f", (b > 0 ? a / b : 0) }')
    note=""
    [ "$status" = 124 ] && note=" (stopped)"
    printf '| %s | %s of %s | %s s%s | %s |\n' "$tool" "$found" "$total" \
      "$(awk -v m="$ms" 'BEGIN { printf "%.1f", m / 1000 }')" "$note" "$ratio"
    if [ "$found" = "$total" ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
  done <"$work/results-$kind"
  echo
done
# The smoke run is a check: every tool found the tiny band.
if [ "$smoke" = 1 ]; then
  echo "$passed passed, $failed failed"
  [ "$failed" = 0 ]
fi
