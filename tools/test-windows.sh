#!/usr/bin/env bash
# Builds the Windows program with MinGW-w64 -- the 32-bit tressel.exe that is
# shipped (build-win32, with its ZIP package) and the 64-bit one (build-win64),
# each with the virtual Halvex.dll and the console helper of the tests -- and
# runs the Wine tests (a Linux test program, build-wtest) against the 32-bit
# pair, then against the 64-bit pair. Without MinGW-w64 or 32-bit Wine it says
# what is missing and exits 0.
# The last line is "N passed, N failed"; the exit status is nonzero on failure.
set -u
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

# The first MinGW-w64 compiler of a target: POSIX threads, Win32 threads, plain.
mingw_compiler() {
  local variant
  for variant in -posix -win32 ""; do
    command -v "$1-g++$variant" >/dev/null 2>&1 && return 0
  done
  return 1
}

# Debian's wine32:i386 gives the loader that runs 32-bit programs (and hands
# 64-bit ones to wine64).
wine=${TRESSEL_WINE:-/usr/lib/wine/wine}

missing=()
mingw_compiler i686-w64-mingw32 || missing+=("i686-w64-mingw32-g++ (g++-mingw-w64-i686)")
mingw_compiler x86_64-w64-mingw32 || missing+=("x86_64-w64-mingw32-g++ (g++-mingw-w64-x86-64)")
[ -x "$wine" ] || missing+=("the 32-bit Wine loader $wine (wine32:i386, after dpkg --add-architecture i386)")
[ -x "$(dirname "$wine")/wine64" ] || missing+=("the 64-bit Wine loader (wine64)")
if [ ${#missing[@]} -gt 0 ]; then
  text=${missing[0]}
  for item in "${missing[@]:1}"; do
    text="$text, $item"
  done
  echo "Windows build and Wine tests skipped: $text not installed"
  exit 0
fi

passed=0
failed=0
failures=()

check() { # name, then the command whose status decides
  local name=$1
  shift
  if "$@"; then
    echo "PASS: $name"
    passed=$((passed + 1))
  else
    echo "FAIL: $name"
    failed=$((failed + 1))
    failures+=("$name")
    return 1
  fi
}

build() { # directory, target ("all" for everything), cmake arguments...
  local dir=$1 target=$2
  shift 2
  cmake -S "$root" -B "$dir" "${generator[@]}" "$@" >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$jobs" --target "$target"
}

# Only the operating system's own DLLs may be imported: the tuner library is
# loaded at run time and the compiler's runtimes are linked in.
imports_only_system_dlls() { # objdump, file
  local extra
  extra=$("$1" -p "$2" | sed -n 's/^[[:space:]]*DLL Name: //p' |
    grep -viE '^(kernel32|user32|msvcrt|advapi32|ntdll)\.dll$')
  [ -z "$extra" ] || { echo "$2 imports: $extra"; return 1; }
}

# Unpacked as the README says, into the folder that holds Halvex.dll, the ZIP
# puts tressel.exe, Tressel.ini and README.txt (CR LF line ends) beside it, and
# never brings a Halvex.dll of its own.
package_is_complete() { # zip file
  local listing readme
  listing=$(cmake -E tar tf "$1") || return 1
  echo "$listing"
  [ "$(sort <<<"$listing" | tr '\n' ' ')" = "README.txt Tressel.ini tressel.exe " ] || return 1
  readme=$(mktemp -d) || return 1
  (cd "$readme" && cmake -E tar xf "$1" README.txt) &&
    ! grep -q $'[^\r]$' "$readme/README.txt" && ! grep -q '^$' "$readme/README.txt"
  local status=$?
  rm -rf "$readme"
  return $status
}

w32=$root/build-win32
w64=$root/build-win64
wtest=$root/build-wtest

check "32-bit build (i686 MinGW-w64)" build "$w32" all -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
if [ -f "$w32/bin/tressel.exe" ]; then
  check "32-bit tressel.exe needs no DLL beside Halvex.dll" \
    imports_only_system_dlls i686-w64-mingw32-objdump "$w32/bin/tressel.exe"
  rm -f "$w32"/Tressel-*.zip
  check "ZIP package" cmake --build "$w32" --target package
  zip=$(ls "$w32"/Tressel-*-win32.zip 2>/dev/null | head -n 1)
  check "ZIP package: tressel.exe, Tressel.ini, README.txt (CR LF) at its top, no Halvex.dll" package_is_complete "${zip:-none}"
fi

check "64-bit build (x86-64 MinGW-w64)" build "$w64" all -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake"
check "Wine test program (native)" build "$wtest" wine_tests -DTRESSEL_WINE_TESTS=ON -DTRESSEL_WINDOWS_BIN="$w32/bin"

# Both pairs share one Wine prefix. Its first start takes a while on a slow
# machine, so it is made here, without the tests' time limit.
prefix=$wtest/wineprefix
server=$(dirname "$wine")/wineserver
prefix_ready() {
  [ -f "$prefix/system.reg" ] && return 0
  WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    "$wine" wineboot -i </dev/null >"$prefix.log" 2>&1
  # The registry files are written when the Wine server ends.
  WINEPREFIX=$prefix "$server" -w >/dev/null 2>&1
  [ -f "$prefix/system.reg" ] || { cat "$prefix.log"; return 1; }
}

run_wine_tests() { # label, Wine loader, bin directory, the other pair's bin directory, gtest filter, ZIP
  local label=$1 loader=$2 bin=$3 other=$4 filter=$5 package=$6 log status summary p f
  log=$wtest/wine_tests-$label.log
  echo "== Wine tests, $label pair"
  TRESSEL_WINDOWS_BIN=$bin TRESSEL_WINDOWS_OTHER_BIN=$other TRESSEL_WINDOWS_PACKAGE=$package \
    TRESSEL_WINE=$loader TRESSEL_WINEPREFIX=$prefix \
    "$wtest/bin/wine_tests" --gtest_filter="$filter" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  summary=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -n 1)
  f=0
  if [ -n "$summary" ]; then
    p=${summary%% passed*}
    f=${summary#*passed, }
    f=${f%% failed}
    passed=$((passed + p))
    failed=$((failed + f))
    [ "$f" = 0 ] || failures+=("Wine tests ($label)")
  fi
  if [ -z "$summary" ] || { [ "$status" != 0 ] && [ "$f" = 0 ]; }; then
    echo "FAIL: the Wine test program ($label) ended with status $status"
    failed=$((failed + 1))
    failures+=("Wine test program ($label)")
  fi
}

if [ -x "$wtest/bin/wine_tests" ] && [ -f "$w32/bin/tressel.exe" ] && check "Wine prefix" prefix_ready; then
  # Every Wine test runs the 32-bit program that users run.
  run_wine_tests i686 "$wine" "$w32/bin" "$w64/bin" '*' "${zip:-}"
  # The 64-bit pair repeats what differs by architecture: start-up, the
  # loader's messages, the scans and files, the resources. It runs under
  # wine64 itself: the 32-bit loader would hand it over through the shell,
  # which refuses a program in a folder deeper than 259 characters.
  [ -f "$w64/bin/tressel.exe" ] &&
    run_wine_tests x86-64 "$(dirname "$wine")/wine64" "$w64/bin" "$w32/bin" 'WineStartup.*:WineScan.FastAndStepped*:WineLoader.*:WinePackage.ProgramCarries*' ""
  # The tests leave a Wine server waiting for 30 s; end it now.
  WINEPREFIX=$prefix "$server" -k >/dev/null 2>&1 || true
fi

echo
if [ ${#failures[@]} -gt 0 ]; then
  printf 'Failed: %s\n' "${failures[@]}"
fi
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
