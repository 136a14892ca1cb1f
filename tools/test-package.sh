#!/usr/bin/env bash
# The Debian package stage: builds the package (Release, cpack -G DEB), checks
# it with lintian (errors fail, warnings are shown), installs it with dpkg
# into a scratch root, runs the installed program (--version, a scan of the
# virtual tuner with the installed sample configuration, the installed DVB
# library found by name), checks the man page, and removes the package again.
# Without dpkg-deb or cpack it says so and skips; without lintian or man it
# skips those checks only. The last line is "N passed, N failed".
#
# Environment: PACKAGE_BUILD_DIR (default build/deb).
set -u
cd "$(dirname "$0")/.."
root=$(pwd)
build=${PACKAGE_BUILD_DIR:-$root/build/deb}
passed=0
failed=0

skip() {
  echo "package stage skipped: $1"
  echo "0 passed, 0 failed"
  exit 0
}

ok() {
  echo "ok $1"
  passed=$((passed + 1))
}

fail() {
  echo "FAIL $1"
  shift
  [ $# -gt 0 ] && [ -f "$1" ] && head -n 40 "$1"
  failed=$((failed + 1))
}

finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" = 0 ]
  exit
}

[ "$(uname -s)" = Linux ] || skip "it needs Linux"
for tool in dpkg-deb dpkg cpack dpkg-shlibdeps; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (packages dpkg, dpkg-dev, cmake)"
done

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
mkdir -p "$build"
rm -f "$build"/tressel_*.deb
if ! { cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DTRESSEL_TESTS=OFF &&
       cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" &&
       (cd "$build" && cpack -G DEB); } >"$build.log" 2>&1; then
  fail "the package builds" "$build.log"
  tail -n 30 "$build.log"
  finish
fi
deb=$(ls "$build"/tressel_*.deb)
ok "the package builds: $(basename "$deb")"

if command -v lintian >/dev/null 2>&1; then
  # lintian exits nonzero on errors; warnings are printed for the reader.
  lintian --tag-display-limit 0 "$deb" >"$build/lintian.log" 2>&1
  status=$?
  grep -v 'root privileges' "$build/lintian.log"
  if [ "$status" = 0 ] && ! grep -q '^E: ' "$build/lintian.log"; then
    ok "lintian finds no errors"
  else
    fail "lintian finds errors"
  fi
else
  echo "lintian check skipped: lintian is not installed"
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
target=$scratch/root
# A dpkg database of its own: the scratch root knows no other package, so
# libc6 is taken as present.
mkdir -p "$target/var/lib/dpkg/info" "$target/var/lib/dpkg/updates"
touch "$target/var/lib/dpkg/status"
# The package's maintainer scripts do nothing; run outside a chroot, since the
# scratch root has no shell.
dpkg_root=(dpkg --root="$target" --force-depends --force-not-root --force-script-chrootless --log=/dev/null)
if "${dpkg_root[@]}" -i "$deb" >"$scratch/install.log" 2>&1 &&
   [ -L "$target/usr/bin/tressel" ] && [ -x "$target/usr/lib/tressel/tressel" ] &&
   [ -f "$target/usr/lib/tressel/libHalvex.so" ] && [ -f "$target/usr/lib/tressel/libTresselDvb.so" ] &&
   [ -f "$target/usr/share/doc/tressel/Tressel.ini" ] && [ -f "$target/usr/share/man/man1/tressel.1.gz" ]; then
  ok "dpkg installs it: the program, both tuner libraries, the sample, the man page"
else
  fail "dpkg installs it" "$scratch/install.log"
  ls -lR "$target/usr" 2>/dev/null | head -n 40
  finish
fi

program=$target/usr/bin/tressel
if version=$("$program" --version 2>&1) && [ "$version" = "Tressel ver.1.0.0.1-tressel" ]; then
  ok "the installed tressel --version: $version"
else
  fail "the installed tressel --version: $version"
fi

# The built-in band of the virtual tuner, through the link on the PATH: the
# program finds libHalvex.so beside its real path.
run=$scratch/run
mkdir -p "$run"
cp "$target/usr/share/doc/tressel/Tressel.ini" "$run/"
(cd "$run" && env -u TRESSEL_TUNER_LIBRARY -u TRESSEL_VIRTUAL_BAND "$program" Tressel.ini \
   </dev/null >"$run/stdout" 2>"$run/stderr")
status=$?
if [ "$status" = 0 ] && grep -qx 'Total tranponders found = 12' "$run/stdout" &&
   [ -s "$run/4000.txt" ] && [ "$(grep -c '^[0-9]*=[0-9]*,[0-9]*' "$run/4000.ini")" = 12 ]; then
  ok "the installed tressel scans the virtual tuner: 12 transponders, 4000.txt and 4000.ini"
else
  fail "the installed tressel scans the virtual tuner (exit $status)" "$run/stdout"
  cat "$run/stderr"
fi

# TRESSEL_TUNER_LIBRARY=dvb loads the installed DVB library; with no
# frontend on this machine it ends with "no devices" (-2), not with a load
# failure (-1).
if [ ! -e /dev/dvb ]; then
  (cd "$run" && TRESSEL_TUNER_LIBRARY=dvb "$program" Tressel.ini </dev/null >"$run/dvb.stdout" 2>"$run/dvb.stderr")
  status=$?
  if [ "$status" = 254 ] && grep -q '^dvb tuner: ' "$run/dvb.stderr"; then
    ok "the installed tressel loads the installed DVB library by name"
  else
    fail "the installed tressel loads the installed DVB library by name (exit $status)" "$run/dvb.stderr"
  fi
else
  echo "DVB library check skipped: this machine has /dev/dvb"
fi

if command -v man >/dev/null 2>&1; then
  if MANWIDTH=80 man --warnings -l "$target/usr/share/man/man1/tressel.1.gz" >"$scratch/man.txt" 2>"$scratch/man.err" &&
     [ ! -s "$scratch/man.err" ] && grep -q 'EXIT STATUS' "$scratch/man.txt" &&
     grep -q 'TRESSEL_TUNER_LIBRARY' "$scratch/man.txt"; then
    ok "the man page renders without warnings"
  else
    fail "the man page renders without warnings" "$scratch/man.err"
  fi
  # Every key of the README's configuration reference has its entry.
  keys=$(sed -n 's/^| `[A-Za-z0-9]*` | `\([A-Za-z0-9]*\)` |.*/\1/p' "$root/README.md")
  missing=()
  for key in $keys; do
    grep -Eq "^ {7}$key \(default" "$scratch/man.txt" || missing+=("$key")
  done
  if [ -n "$keys" ] && [ ${#missing[@]} = 0 ]; then
    ok "the man page describes every configuration key of the README"
  else
    fail "the man page lacks configuration keys: ${missing[*]:-(none read from the README)}"
  fi
else
  echo "man page check skipped: man-db is not installed"
fi

"${dpkg_root[@]}" -r tressel >"$scratch/remove.log" 2>&1
left=$(cd "$target" && find usr -type f -o -type l 2>/dev/null)
if [ -z "$left" ] && ! "${dpkg_root[@]}" -s tressel 2>/dev/null | grep -q '^Status: install ok installed'; then
  ok "dpkg removes it and leaves no file"
else
  fail "dpkg removes it: left $left" "$scratch/remove.log"
fi
finish
