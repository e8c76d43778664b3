# The Debian package: `cpack -G DEB` in a release build folder makes
# durandex_VERSION_ARCH.deb of what `cmake --install` installs, under /usr.
set(DURANDEX_MAINTAINER "Durandex developers <durandex@example.org>" CACHE STRING
    "Name and address for the package's Maintainer field")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME durandex)
set(CPACK_PACKAGE_VENDOR "Durandex developers")
set(CPACK_PACKAGE_CONTACT ${DURANDEX_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "disk I/O stress and data-integrity tool")
# Debian wants the extended description in lines of at most 80 characters.
set(CPACK_PACKAGE_DESCRIPTION [[
Durandex stresses disks, controllers and filesystems. It loads chosen drives
with a steady stream of file copies and verifies every copy byte for byte,
reading it back from the drive, so that corruption, read failures, full disks
and failing media show up as counted, logged errors.

It runs interactively in a terminal (also over ssh) or unattended for a given
time, writes a summary of every run, and exits with the run's error total so
that scripts can act on it.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The package carries the optimised program without its debugging sections.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies from the libraries the binary links (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# A native package carries its changelog as changelog.gz in Debian's format:
# one entry, for this version, dated when it was configured (or at
# SOURCE_DATE_EPOCH, for a reproducible package).
string(TIMESTAMP DURANDEX_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_SOURCE_DIR}/cmake/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
                   COMMAND ${GZIP_PROGRAM} -9nkf ${PROJECT_BINARY_DIR}/changelog
                   DEPENDS ${PROJECT_BINARY_DIR}/changelog
                   VERBATIM)
add_custom_target(durandex_changelog DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)
add_dependencies(durandex durandex_changelog)
install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

include(CPack)
