# Installation layout, the manual page check and the Debian package.
#
#   cmake --install <build> --strip [--prefix DIR]   bin/vantorix
#                                                   share/man/man8/vantorix.8.gz
#                                                   share/doc/vantorix/examples/vantorix.ini
#                                                   share/doc/vantorix/copyright, changelog.gz
#   cd <build> && cpack -G DEB                      vantorix_<version>_<arch>.deb, prefix /usr

set(VANTORIX_MANPAGE ${PROJECT_SOURCE_DIR}/docs/vantorix.8)
set(VANTORIX_SAMPLE_CONFIG ${PROJECT_SOURCE_DIR}/docs/vantorix.ini)
set(VANTORIX_COPYRIGHT ${PROJECT_SOURCE_DIR}/docs/copyright)
set(VANTORIX_CHANGELOG ${PROJECT_SOURCE_DIR}/docs/changelog)

# A Windows build makes a ZIP instead (and checks the documents in its Linux build).
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/packaging-windows.cmake)
  return()
endif()

include(GNUInstallDirs)

# Debian installs manual pages compressed; -n keeps the name and time stamp
# out of the archive so that two builds give the same bytes.
find_program(VANTORIX_GZIP gzip REQUIRED)
set(VANTORIX_MANPAGE_GZ ${CMAKE_CURRENT_BINARY_DIR}/vantorix.8.gz)
add_custom_command(
  OUTPUT ${VANTORIX_MANPAGE_GZ}
  COMMAND ${VANTORIX_GZIP} -9 -n -c ${VANTORIX_MANPAGE} > ${VANTORIX_MANPAGE_GZ}
  DEPENDS ${VANTORIX_MANPAGE}
  COMMENT "Compressing the manual page"
  VERBATIM)
# The changelog of a native Debian package goes in compressed the same way.
set(VANTORIX_CHANGELOG_GZ ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(
  OUTPUT ${VANTORIX_CHANGELOG_GZ}
  COMMAND ${VANTORIX_GZIP} -9 -n -c ${VANTORIX_CHANGELOG} > ${VANTORIX_CHANGELOG_GZ}
  DEPENDS ${VANTORIX_CHANGELOG}
  COMMENT "Compressing the changelog"
  VERBATIM)
add_custom_target(vantorix_manpage ALL DEPENDS ${VANTORIX_MANPAGE_GZ} ${VANTORIX_CHANGELOG_GZ})

install(TARGETS vantorix
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT vantorix)
install(FILES ${VANTORIX_MANPAGE_GZ}
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man8
        COMPONENT vantorix)
# The commented sample where Debian keeps examples; the copyright and the
# changelog every Debian package carries.
install(FILES ${VANTORIX_SAMPLE_CONFIG}
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
        COMPONENT vantorix)
install(FILES ${VANTORIX_COPYRIGHT} ${VANTORIX_CHANGELOG_GZ}
        DESTINATION ${CMAKE_INSTALL_DOCDIR}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
        COMPONENT vantorix)

# The manual page must format without a single warning: groff prints nothing
# at all for a clean page, so any output fails the test.
if(VANTORIX_TESTS)
  find_program(VANTORIX_GROFF groff)
  if(VANTORIX_GROFF)
    add_test(NAME manpage_lint
             COMMAND sh -c "out=$(\"$0\" -man -ww -z \"$1\" 2>&1) && [ -z \"$out\" ] || { printf '%s\\n' \"$out\"; exit 1; }"
                     ${VANTORIX_GROFF} ${VANTORIX_MANPAGE})
  else()
    # Without groff the page cannot be checked; say so instead of passing.
    add_test(NAME manpage_lint
             COMMAND sh -c "echo 'groff not found: install groff-base (scripts/install-deps.sh)'; exit 1")
  endif()

  # The sample configuration and the manual page describe every key the program
  # reads; a key added to one and forgotten in the other is caught here.
  set(VANTORIX_CONFIG_KEYS
      radius_host radius_port radius_secret radius_user_file radius_attribute
      radius_timeout radius_retries radius_dead_time radius_require_message_authenticator
      radius_nas_identifier radius_calling_station_id radius_vsa_format
      radius_transport radius_tls_ca radius_tls_cert radius_tls_key radius_tls_server_name
      log log_path log_syslog domain info_pass lowercase_username lowercase_username_set
      filtername dir_hash search_min fwd_not_null plain_password realuser
      unix_password)
  add_test(NAME config_keys_documented
           COMMAND sh -c [=[
ini=$1; man=$2; shift 2; status=0
for key in "$@"; do
  grep -q "^#$key\( \|$\)" "$ini" || { echo "sample configuration lacks $key"; status=1; }
  grep -q "^\.B[IR]\{0,1\} $key\( \|$\)" "$man" || grep -q "^\.BR .*\b$key\b" "$man" ||
    { echo "manual page lacks $key"; status=1; }
done
exit $status]=]
                   sh ${VANTORIX_SAMPLE_CONFIG} ${VANTORIX_MANPAGE} ${VANTORIX_CONFIG_KEYS})
endif()

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantorix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vantorix developers")
set(CPACK_PACKAGE_CONTACT "Vantorix developers <dev@vantorix.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "RADIUS authentication helper for mail servers")
set(CPACK_PACKAGE_DESCRIPTION
    "A mail server starts vantorix as a child process and asks it, one line at a
time on standard input, whether a user's password is right. Vantorix asks a
RADIUS server (RFC 2865) and answers with one +OK or -ERR line, remembering
accepted users in a local user file so that they can be looked up again.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The packaged program is stripped whatever the build type (scripts/package-test.sh checks it).
set(CPACK_STRIP_FILES ON)
# Only what the rules above install: nothing of the test or benchmark builds.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};vantorix;vantorix;/")

set(CPACK_DEBIAN_PACKAGE_NAME vantorix)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Vantorix developers <dev@vantorix.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libssl is loaded by name when TLS is configured, which the shared-library
# scan cannot see: libssl.so.3 comes with the package libssl3.
if(VANTORIX_TLS)
  string(REGEX REPLACE "^libssl\\.so\\.([0-9]+)$" "libssl\\1" VANTORIX_LIBSSL_PACKAGE "${VANTORIX_LIBSSL_SONAME}")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${VANTORIX_LIBSSL_PACKAGE}")
endif()

include(CPack)
