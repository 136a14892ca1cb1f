# Linux install rules and the Debian package.
#
#   cmake -S . -B build/deb -DCMAKE_BUILD_TYPE=Release -DTRESSEL_TESTS=OFF
#   cmake --build build/deb && (cd build/deb && cpack -G DEB)
#
# The program finds its tuner libraries next to itself (through
# /proc/self/exe, which resolves links), so the program and both libraries go
# into one private directory, /usr/lib/tressel, and /usr/bin/tressel is a
# link to the program. The sample configuration, the README and the copyright
# go to /usr/share/doc/tressel, the man page to section 1.

set(tressel_libexec lib/tressel)
set(tressel_doc share/doc/tressel)
set(tressel_pkg ${CMAKE_BINARY_DIR}/package-linux)
file(MAKE_DIRECTORY ${tressel_pkg})

install(TARGETS tressel RUNTIME DESTINATION ${tressel_libexec})
install(TARGETS Halvex LIBRARY DESTINATION ${tressel_libexec})
# The DVB tuner library is built on Linux only.
if(TARGET TresselDvb)
  install(TARGETS TresselDvb LIBRARY DESTINATION ${tressel_libexec})
endif()

file(CREATE_LINK ../${tressel_libexec}/tressel ${tressel_pkg}/tressel SYMBOLIC)
install(FILES ${tressel_pkg}/tressel DESTINATION bin)

install(FILES Tressel.ini README.md DESTINATION ${tressel_doc})
install(FILES doc/copyright DESTINATION ${tressel_doc})

# Debian wants manual pages and the changelog compressed, without a time
# stamp, so that two builds give the same bytes.
add_custom_command(OUTPUT ${tressel_pkg}/tressel.1.gz
  COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/doc/tressel.1 > ${tressel_pkg}/tressel.1.gz
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/doc/tressel.1 VERBATIM)
add_custom_command(OUTPUT ${tressel_pkg}/changelog.gz
  COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/doc/changelog > ${tressel_pkg}/changelog.gz
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/doc/changelog VERBATIM)
add_custom_target(tressel_package_docs ALL DEPENDS ${tressel_pkg}/tressel.1.gz ${tressel_pkg}/changelog.gz)
install(FILES ${tressel_pkg}/tressel.1.gz DESTINATION share/man/man1)
install(FILES ${tressel_pkg}/changelog.gz DESTINATION ${tressel_doc})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_NAME tressel)
set(CPACK_PACKAGE_VENDOR "Tressel")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(TRESSEL_PACKAGE_CONTACT "Tressel developers <tressel@example.org>" CACHE STRING "Maintainer of the Debian package")
set(CPACK_PACKAGE_CONTACT "${TRESSEL_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "DVB transponder scanner for terrestrial and cable bands")
# Debian's layout: a blank line separates paragraphs.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Tressel searches terrestrial and cable television bands (DVB-T, DVB-T2,\n"
  "DVB-C, DVB-C2, ATSC, ISDB-T) for transponders, prints a line for each one\n"
  "it finds, and after each pass writes a detailed report and a transponder\n"
  "list (an INI list, a scan table or an XML locations file).\n"
  "\n"
  "It drives Linux DVB frontends through the kernel's DVBv5 API, and carries\n"
  "a virtual tuner that answers from a simulated band, so that it can be\n"
  "tried without hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# CPack would call ldconfig for libraries under /usr/lib; the program loads
# its libraries by path from its own directory, so the scripts do nothing.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/cmake/deb/postinst
  ${CMAKE_CURRENT_SOURCE_DIR}/cmake/deb/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
