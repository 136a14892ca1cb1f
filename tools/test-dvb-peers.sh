#!/usr/bin/env bash
# Runs Debian's own DVB scanners, dvbv5-scan (package dvb-tools) and w_scan
# (package w-scan), unmodified against the simulated DVB frontend
# (libTresselDvbSim.so preloaded) and checks that each finds what the band
# holds: the evidence that the simulator models the kernel's DVB API and not
# merely what our own tuner library expects. w_scan runs under libfaketime
# (package faketime), 20 times faster, when it is installed.
#
# The last line is "N passed, N failed" over the checks; the exit status is
# nonzero when one failed. Without dvbv5-scan or w_scan the stage says what
# is missing and skips.
#
# Environment: DVB_PEERS_BUILD_DIR (default build/gcc), where the simulator
# is built (configured there first when needed).
set -u
cd "$(dirname "$0")/.."
root=$(pwd)
build=${DVB_PEERS_BUILD_DIR:-$root/build/gcc}

skip() {
  echo "DVB peer scanners skipped: $1"
  echo "0 passed, 0 failed"
  exit 0
}

[ "$(uname -s)" = Linux ] || skip "the simulated DVB frontend exists on Linux only"
missing=()
command -v dvbv5-scan >/dev/null 2>&1 || missing+=("dvbv5-scan (install dvb-tools)")
command -v w_scan >/dev/null 2>&1 || missing+=("w_scan (install w-scan)")
[ ${#missing[@]} = 0 ] || skip "${missing[*]} not installed"

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
if [ ! -f "$build/CMakeCache.txt" ]; then
  mkdir -p "$build"
  cmake -S "$root" -B "$build" "${generator[@]}" >"$build.peers-configure.log" 2>&1 ||
    { cat "$build.peers-configure.log"; echo "0 passed, 1 failed"; exit 1; }
fi
if ! cmake --build "$build" --target TresselDvbSim >"$build/peers-build.log" 2>&1; then
  tail -n 40 "$build/peers-build.log"
  echo "0 passed, 1 failed"
  exit 1
fi
sim="$build/bin/libTresselDvbSim.so"

faketime_lib=""
for candidate in /usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1 /usr/lib/*/faketime/libfaketime.so.1; do
  [ -f "$candidate" ] && { faketime_lib=$candidate; break; }
done
[ -n "$faketime_lib" ] || echo "note: libfaketime not installed (package faketime): w_scan runs in real time"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
check() { # description, command...
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
    passed=$((passed + 1))
  else
    echo "FAILED: $what"
    failed=$((failed + 1))
  fi
}

# The band: DVB-T with hierarchy, DVB-T2 with two PLPs and a slow lock,
# DVB-C at both common symbol rates, and a terrestrial carrier that never
# locks. Transport stream ids (and so service ids) are 1 + the section number.
cat >"$work/band.ini" <<'BAND'
[Devices]
Name0=Simulated DVB-T/T2/C frontend

[Transponder0]
Frequency=474000
Bandwidth=8000
Standard=6
Modulation=20
Fec=2
FecLp=1
Spectrum=1
TransmissionMode=4
GuardInterval=3
Hierarchy=2
RfLevel=-55
Snr=28.5

[Transponder1]
Frequency=490000
Bandwidth=8000
Standard=7
Modulation=22
Fec=13
TransmissionMode=6
GuardInterval=7
PlpIds=0,1
RfLevel=-48
Snr=30.2
CarrierMs=200
LockMs=1500

[Transponder2]
Frequency=522000
Bandwidth=8000
Standard=6
Modulation=20
CarrierMs=100
NeverLocks=1

[Transponder3]
Frequency=346000
Bandwidth=8000
SymbolRate=6900000
Standard=8
Modulation=22
RfLevel=-60
Snr=35

[Transponder4]
Frequency=410000
Bandwidth=8000
SymbolRate=6875000
Standard=8
Modulation=20
RfLevel=-62
Snr=33
BAND

# dvbv5-scan's initial list in its own format: every transponder, and a
# frequency with nothing on it.
cat >"$work/channels.conf" <<'CHANNELS'
[DVB-T]
	DELIVERY_SYSTEM = DVBT
	FREQUENCY = 474000000
	BANDWIDTH_HZ = 8000000

[DVB-T2]
	DELIVERY_SYSTEM = DVBT2
	FREQUENCY = 490000000
	BANDWIDTH_HZ = 8000000

[Never locks]
	DELIVERY_SYSTEM = DVBT
	FREQUENCY = 522000000
	BANDWIDTH_HZ = 8000000

[Empty]
	DELIVERY_SYSTEM = DVBT
	FREQUENCY = 506000000
	BANDWIDTH_HZ = 8000000

[DVB-C 6900]
	DELIVERY_SYSTEM = DVBC/ANNEX_A
	FREQUENCY = 346000000
	SYMBOL_RATE = 6900000

[DVB-C 6875]
	DELIVERY_SYSTEM = DVBC/ANNEX_A
	FREQUENCY = 410000000
	SYMBOL_RATE = 6875000
CHANNELS

run_preloaded() { # log, command...
  local log=$1
  shift
  LD_PRELOAD="$sim" TRESSEL_VIRTUAL_BAND="$work/band.ini" timeout 600 "$@" </dev/null >"$log" 2>&1
}

run_w_scan() { # output, log, w_scan arguments...
  local out=$1 log=$2
  shift 2
  local preload=$sim
  [ -n "$faketime_lib" ] && preload="$sim $faketime_lib"
  LD_PRELOAD="$preload" FAKETIME="+0 x20" TRESSEL_VIRTUAL_BAND="$work/band.ini" \
    timeout 900 w_scan "$@" </dev/null >"$out" 2>"$log"
}

# The services dvbv5-scan wrote, one line each: "sid frequency system stream".
dvbv5_services() {
  awk '
    /^\[/ { if (sid != "") print sid, freq, sys, (stream == "" ? "-" : stream); sid = ""; freq = ""; sys = ""; stream = "" }
    /SERVICE_ID =/ { sid = $3 }
    /FREQUENCY =/ { freq = $3 }
    /DELIVERY_SYSTEM =/ { sys = $3 }
    /STREAM_ID =/ { stream = $3 }
    END { if (sid != "") print sid, freq, sys, (stream == "" ? "-" : stream) }
  ' "$work/dvbv5.conf" | sort -u
}

has_service() { dvbv5_services | grep -qx "$1"; }
has_no_frequency() { ! dvbv5_services | awk '{print $2}' | grep -qx "$1"; }
dvbv5_ran() { [ -s "$work/dvbv5.conf" ]; }

echo "=== dvbv5-scan $(dvbv5-scan --version 2>&1 | head -n 1)"
start=$(date +%s)
run_preloaded "$work/dvbv5.log" dvbv5-scan -o "$work/dvbv5.conf" "$work/channels.conf"
status=$?
echo "dvbv5-scan: exit $status after $(( $(date +%s) - start )) s"
check "dvbv5-scan ran through the simulator and wrote a channel file" dvbv5_ran
check "dvbv5-scan found the DVB-T transponder (service 1)" has_service "1 474000000 DVBT -"
check "dvbv5-scan found the DVB-T2 transponder on PLP 0 (service 2)" has_service "2 490000000 DVBT2 0"
check "dvbv5-scan found the DVB-T2 transponder's PLP 1 from the NIT" has_service "2 490000000 DVBT2 1"
check "dvbv5-scan found DVB-C at 6900 kS/s (service 4)" has_service "4 346000000 DVBC/ANNEX_A -"
check "dvbv5-scan found DVB-C at 6875 kS/s (service 5)" has_service "5 410000000 DVBC/ANNEX_A -"
check "dvbv5-scan found nothing on the carrier that never locks" has_no_frequency 522000000
check "dvbv5-scan found nothing on the empty channel" has_no_frequency 506000000
if grep -q "^dvb sim:" "$work/dvbv5.log"; then
  grep "^dvb sim:" "$work/dvbv5.log" | sort | uniq -c
fi
check "dvbv5-scan made no call the simulator does not handle" bash -c "! grep -q '^dvb sim:' '$work/dvbv5.log'"
if [ "$failed" != 0 ]; then
  echo "--- dvbv5-scan output"
  tail -n 40 "$work/dvbv5.log"
  echo "--- dvbv5-scan channel file"
  cat "$work/dvbv5.conf" 2>/dev/null
fi

# w_scan writes VDR channel lines: name;provider:frequency:parameters:source:...:sid:nid:tsid:rid
w_scan_line() { # output file, frequency kHz, source letter, sid
  awk -F: -v f="$2" -v s="$3" -v sid="$4" '$2 == f && $4 == s && $10 == sid { found = 1 } END { exit !found }' "$1"
}
w_scan_params() { # output file, frequency kHz, expected text in the parameter field
  awk -F: -v f="$2" -v p="$3" '$2 == f && index($3, p) > 0 { found = 1 } END { exit !found }' "$1"
}
w_scan_lacks() { # output file, frequency kHz
  ! awk -F: '{ print $2 }' "$1" | grep -qx "$2"
}

failed_before=$failed
echo "=== w_scan $(w_scan -V 2>&1 | tail -n 1): terrestrial"
start=$(date +%s)
run_w_scan "$work/wscan-t.txt" "$work/wscan-t.log" -ft -c DE
status=$?
echo "w_scan -ft: exit $status after $(( $(date +%s) - start )) s"
check "w_scan found the DVB-T transponder (service 1)" w_scan_line "$work/wscan-t.txt" 474000 T 1
check "w_scan read the DVB-T parameters from the NIT (64-QAM, 2/3 and 1/2, 1/8, 8k, alpha 2)" \
  w_scan_params "$work/wscan-t.txt" 474000 "B8C23D12G8M64T8Y2"
check "w_scan found the slow DVB-T2 transponder (service 2)" w_scan_line "$work/wscan-t.txt" 490000 T 2
check "w_scan took the DVB-T2 system from the NIT" w_scan_params "$work/wscan-t.txt" 490000 "S1"
check "w_scan found nothing on the carrier that never locks" w_scan_lacks "$work/wscan-t.txt" 522000
check "w_scan found no cable transponder on the aerial" w_scan_lacks "$work/wscan-t.txt" 346000

echo "=== w_scan: cable"
start=$(date +%s)
run_w_scan "$work/wscan-c.txt" "$work/wscan-c.log" -fc -c DE
status=$?
echo "w_scan -fc: exit $status after $(( $(date +%s) - start )) s"
check "w_scan found DVB-C at 6900 kS/s (service 4)" w_scan_line "$work/wscan-c.txt" 346000 C 4
check "w_scan found DVB-C at 6875 kS/s (service 5)" w_scan_line "$work/wscan-c.txt" 410000 C 5
check "w_scan read 256-QAM and 6900 from the cable descriptor" w_scan_params "$work/wscan-c.txt" 346000 "M256"
check "w_scan found no terrestrial transponder on the cable" w_scan_lacks "$work/wscan-c.txt" 474000
if [ "$failed" != "$failed_before" ]; then
  for f in wscan-t wscan-c; do
    echo "--- $f output"
    cat "$work/$f.txt"
    tail -n 30 "$work/$f.log"
  done
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
