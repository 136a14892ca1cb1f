# Shared part of the MinGW-w64 toolchain files; TRESSEL_MINGW_TRIPLET names
# the target (i686-w64-mingw32 or x86_64-w64-mingw32).

# Prefer the compiler with POSIX threads, then the one with Win32 threads,
# then the plain name; the runtimes are linked statically either way, so the
# program needs no MinGW DLL beside it.
foreach(variant -posix -win32 "")
  find_program(TRESSEL_MINGW_CXX ${TRESSEL_MINGW_TRIPLET}-g++${variant})
  if(TRESSEL_MINGW_CXX)
    break()
  endif()
endforeach()
if(NOT TRESSEL_MINGW_CXX)
  message(FATAL_ERROR "${TRESSEL_MINGW_TRIPLET}-g++ not found: install MinGW-w64 (g++-mingw-w64)")
endif()
set(CMAKE_CXX_COMPILER ${TRESSEL_MINGW_CXX})
find_program(CMAKE_RC_COMPILER ${TRESSEL_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TRESSEL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The tests are Linux programs; the Wine tests run the cross-built program
# from a native build.
set(TRESSEL_TESTS OFF CACHE BOOL "Build the tests" FORCE)
