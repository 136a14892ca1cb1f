#!/bin/bash
# The cases of the vidtv stage. Runs inside the machine of tools/vidtv-vm.sh
# (as root, on the kernel's own DVB core with vidtv loaded by each case) and
# prints one line per case, "ok NAME" or "FAIL NAME: why", followed by what
# the failing program printed. TRESSEL_BIN names the directory of tressel and
# libTresselDvb.so.
#
# vidtv locks a tune at once when its frequency is exactly one of the valid
# frequencies of its delivery system (at most 8 for DVB-T and T2 together,
# 8 for DVB-C), never checks the other parameters and reads them back as
# they were set, and has no ATSC or ISDB-T: the cases check which
# frequencies and systems are found, not the parameters.
set -u
bin=${TRESSEL_BIN:?}
mods=${VIDTV_MODULES:?}
work=${VIDTV_OUT:?}/cases
rm -rf "$work"
mkdir -p "$work"
failures=0

# Valid frequencies, Hz. 614 MHz is valid but off the 8 MHz raster of the
# terrestrial intervals from 474 MHz, 746 MHz outside most of them: neither
# may be reported there. The cable ones sit on the 8 MHz raster from 298 MHz.
terrestrial=474000000,490000000,522000000,570000000,614000000,626000000,746000000
cable=306000000,346000000,386000000,434000000

load_vidtv() {
  unload_vidtv
  busybox insmod "$mods/dvb-vidtv-tuner.ko" &&
    busybox insmod "$mods/dvb-vidtv-demod.ko" &&
    busybox insmod "$mods/dvb-vidtv-bridge.ko" vidtv_valid_dvb_t_freqs=$terrestrial \
      vidtv_valid_dvb_c_freqs=$cable "$@" || return 1
  local i
  for i in $(seq 50); do
    [ -e /dev/dvb/adapter0/frontend0 ] && return 0
    sleep 0.1
  done
  return 1
}

unload_vidtv() {
  local m
  for m in dvb_vidtv_bridge dvb_vidtv_demod dvb_vidtv_tuner; do
    grep -q "^$m " /proc/modules && busybox rmmod "$m"
  done
  return 0
}

pass() {
  echo "ok $1"
}

fail() {
  local name=$1 why=$2 dir=$3
  echo "FAIL $name: $why"
  failures=$((failures + 1))
  local f
  for f in "$dir"/stdout "$dir"/stderr "$dir"/*.ini; do
    [ -f "$f" ] || continue
    echo "--- $f"
    head -n 60 "$f"
  done
}

# Writes the configuration of one scan: interval start, stop (kHz), step
# (MHz), standard code, fast scan flag.
write_config() {
  cat >"$1/Tressel.ini" <<EOF
[Options]
Device=0
FastScan=$6
IniFormat=5
InfoFormat=0
[LocInfo]
LocPos=4000
LocName=Europe
[Scan0]
Start=$2
Stop=$3
Step=$4
Std=$5
EOF
}

# Runs tressel with the DVB library in directory $1 with its Tressel.ini;
# the exit status is tressel's.
run_tressel() {
  (cd "$1" && TRESSEL_TUNER_LIBRARY=dvb timeout 300 "$bin/tressel" "$1/Tressel.ini" \
     </dev/null >"$1/stdout" 2>"$1/stderr")
}

# The frequencies (Hz) and systems of the scan table, one "SYSTEM FREQUENCY"
# a line, sorted, one line for all the PLPs of a transponder.
found_in_table() {
  awk '$1 !~ /^#/ && NF > 2 { print $1, $2 }' "$1/Europe.ini" 2>/dev/null | sort -u
}

# The valid frequencies of list $1 within [$2, $3] kHz on the raster of $4
# MHz from $2, as "SYSTEM FREQUENCY" lines.
expected_in() {
  local list=$1 start=$2 stop=$3 step=$4 system=$5 f
  for f in ${list//,/ }; do
    local khz=$((f / 1000))
    [ "$khz" -ge "$start" ] && [ "$khz" -le "$stop" ] && [ $(((khz - start) % (step * 1000))) = 0 ] &&
      echo "$system $f"
  done | sort -u
}

# --- Debian's own scanner first: it shows that the kernel side works, so
# that a failure below is the DVB library's.
case_dvbv5_scan() {
  local name="dvbv5-scan locks vidtv's valid DVB-T frequencies and not a dead one" dir=$work/dvbv5
  mkdir -p "$dir"
  local f
  for f in 474000000 482000000 522000000; do
    printf '[f%s]\n\tDELIVERY_SYSTEM = DVBT\n\tFREQUENCY = %s\n\tBANDWIDTH_HZ = 8000000\n\n' "$f" "$f"
  done >"$dir/channels.conf"
  timeout 120 dvbv5-scan -a 0 "$dir/channels.conf" -o "$dir/found.conf" >"$dir/stdout" 2>"$dir/stderr" </dev/null
  local got
  got=$(sed -n 's/^\tFREQUENCY = //p' "$dir/found.conf" 2>/dev/null | sort -u | tr '\n' ' ')
  if [ "$got" = "474000000 522000000 " ]; then pass "$name"; else fail "$name" "found: $got" "$dir"; fi
}

# --- Stepped and fast scans: each finds exactly the valid frequencies on its
# raster, in the system it asked for, and says how many it found.
#   name           start  stop   step std fast list         system
scan_cases=(
  "stepped DVB-T   474000 634000 8    1   0    terrestrial  T"
  "fast DVB-T      474000 634000 8    1   1    terrestrial  T"
  "stepped DVB-T2  474000 634000 8    2   0    terrestrial  T2"
  "fast DVB-T2     474000 634000 8    2   1    terrestrial  T2"
  "stepped DVB-C   298000 442000 8    3   0    cable        C"
  "fast DVB-C      298000 442000 8    3   1    cable        C"
)

case_scan() {
  local label1 label2 start stop step std fast list system
  read -r label1 label2 start stop step std fast list system <<<"$1"
  local name="$label1 $label2 scan finds exactly the valid frequencies" dir=$work/${label1}-${label2}
  mkdir -p "$dir"
  write_config "$dir" "$start" "$stop" "$step" "$std" "$fast"
  run_tressel "$dir"
  local status=$? got want count
  got=$(found_in_table "$dir")
  want=$(expected_in "${!list}" "$start" "$stop" "$step" "$system")
  count=$(sed -n 's/^Total tranponders found = //p' "$dir/stdout")
  if [ "$status" != 0 ]; then
    fail "$name" "exit status $status" "$dir"
  elif [ "$got" != "$want" ]; then
    fail "$name" "found [$(echo $got)], want [$(echo $want)]" "$dir"
  elif [ "$count" != "$(echo "$want" | wc -l)" ]; then
    fail "$name" "console total $count" "$dir"
  elif grep -q '^dvb tuner: ' "$dir/stderr"; then
    fail "$name" "the library complained" "$dir"
  else
    pass "$name"
  fi
}

# --- Another program holds the frontend: read-write (the kernel allows one
# writer) stops the scan at the start with the library's reason; a reader
# (a signal monitor) does not.
case_busy() {
  local mode=$1 name dir=$work/busy-$1
  mkdir -p "$dir"
  write_config "$dir" 474000 482000 8 1 0
  if [ "$mode" = rw ]; then
    name="a frontend held read-write elsewhere is busy: exit -3 and the reason"
    exec 3<>/dev/dvb/adapter0/frontend0
  else
    name="a frontend held read-only elsewhere still scans"
    exec 3</dev/dvb/adapter0/frontend0
  fi
  run_tressel "$dir"
  local status=$?
  exec 3<&-
  if [ "$mode" = rw ]; then
    if [ "$status" != 253 ]; then
      fail "$name" "exit status $status" "$dir"
    elif ! grep -q '^dvb tuner: .*frontend0 is busy' "$dir/stderr"; then
      fail "$name" "no busy line on standard error" "$dir"
    elif [ -e "$dir/Europe.ini" ]; then
      fail "$name" "a list was written" "$dir"
    else
      pass "$name"
    fi
  else
    if [ "$status" = 0 ] && [ "$(found_in_table "$dir")" = "T 474000000" ]; then
      pass "$name"
    else
      fail "$name" "exit status $status, found [$(found_in_table "$dir")]" "$dir"
    fi
  fi
}

# --- The device goes away mid-scan, once the first transponder is on the
# console. The kernel pins the driver's module while the frontend is open
# (rmmod fails with EAGAIN), so the device is unplugged as a USB stick would
# be: the driver is unbound from it, then unloaded. The library says why, the
# engine prints "error !" and the run ends there, before its output stage,
# with exit code 0; nothing after the removal is reported.
case_removed() {
  local fast=$1 name dir=$work/removed-$1 kind=stepped
  [ "$fast" = 1 ] && kind=fast
  name="device removed mid-scan ($kind): the reason, \"error !\", a normal exit"
  mkdir -p "$dir"
  write_config "$dir" 474000 858000 8 1 "$fast"
  run_tressel "$dir" &
  local pid=$! i device
  for i in $(seq 300); do
    grep -q '474.000 Mhz, BW' "$dir/stdout" 2>/dev/null && break
    sleep 0.1
  done
  device=$(cd /sys/bus/platform/drivers/vidtv && ls -d vidtv.* | head -n 1)
  echo "$device" >/sys/bus/platform/drivers/vidtv/unbind
  wait "$pid"
  local status=$?
  unload_vidtv
  if [ "$status" != 0 ]; then
    fail "$name" "exit status $status" "$dir"
  elif ! grep -q '474.000 Mhz, BW' "$dir/stdout"; then
    fail "$name" "474 MHz was not reported" "$dir"
  elif [ "$(tail -c 7 "$dir/stdout")" != "error !" ]; then
    fail "$name" "the output does not end with \"error !\"" "$dir"
  elif ! grep -q '^dvb tuner: .*frontend0' "$dir/stderr"; then
    fail "$name" "the library gave no reason" "$dir"
  elif grep -q '746.000 Mhz, BW' "$dir/stdout" || [ -e "$dir/Europe.ini" ] || [ -e "$dir/Europe.txt" ]; then
    fail "$name" "the scan went on after the removal" "$dir"
  else
    pass "$name"
  fi
}

if ! load_vidtv; then
  echo "FAIL vidtv loads: no /dev/dvb/adapter0/frontend0"
  dmesg | tail -n 20
  exit 1
fi
echo "vidtv loaded"

if command -v dvbv5-scan >/dev/null 2>&1; then
  case_dvbv5_scan
else
  echo "dvbv5-scan case skipped: dvb-tools is not installed"
fi
for c in "${scan_cases[@]}"; do
  case_scan "$c"
done
case_busy rw
case_busy ro
for fast in 0 1; do
  load_vidtv || { echo "FAIL vidtv reloads"; failures=$((failures + 1)); break; }
  case_removed "$fast"
done
unload_vidtv
exit $((failures > 0))
