# The Windows package, for a build with cmake/mingw-w64.cmake:
#
#   cmake --install <build> [--prefix DIR]   vantorix.exe
#                                           vantorix.ini   the commented sample, CR LF
#                                           vantorix.txt   the manual page as text, CR LF
#                                           libssl-3-x64.dll, libcrypto-3-x64.dll
#                                                          OpenSSL, for RADIUS over TLS
#                                           openssl-license.txt  its licence, CR LF
#   cd <build> && cpack                     vantorix-<version>-win64.zip, one folder
#                                           vantorix-<version>-win64 holding them
#
# The sample stands beside the program, which is the first place the program
# looks for its configuration: it is read there, and every key in it is
# commented out until edited.

find_program(VANTORIX_GROFF groff REQUIRED)

set(VANTORIX_SAMPLE_CRLF ${CMAKE_CURRENT_BINARY_DIR}/package/vantorix.ini)
set(VANTORIX_MANUAL_TEXT ${CMAKE_CURRENT_BINARY_DIR}/vantorix-manual.txt)
set(VANTORIX_MANUAL_CRLF ${CMAKE_CURRENT_BINARY_DIR}/package/vantorix.txt)
set(VANTORIX_CRLF_SCRIPT ${PROJECT_SOURCE_DIR}/cmake/crlf.cmake)

add_custom_command(
  OUTPUT ${VANTORIX_SAMPLE_CRLF}
  COMMAND ${CMAKE_COMMAND} -DIN=${VANTORIX_SAMPLE_CONFIG} -DOUT=${VANTORIX_SAMPLE_CRLF} -P ${VANTORIX_CRLF_SCRIPT}
  DEPENDS ${VANTORIX_SAMPLE_CONFIG} ${VANTORIX_CRLF_SCRIPT}
  COMMENT "Writing the sample configuration with CR LF line ends"
  VERBATIM)
# Plain ASCII: no bold, underline or overstrike sequences, nothing a text
# editor would show as garbage.
add_custom_command(
  OUTPUT ${VANTORIX_MANUAL_CRLF}
  COMMAND ${VANTORIX_GROFF} -man -Tascii -P-cbou -ww ${VANTORIX_MANPAGE} > ${VANTORIX_MANUAL_TEXT}
  COMMAND ${CMAKE_COMMAND} -DIN=${VANTORIX_MANUAL_TEXT} -DOUT=${VANTORIX_MANUAL_CRLF} -P ${VANTORIX_CRLF_SCRIPT}
  DEPENDS ${VANTORIX_MANPAGE} ${VANTORIX_CRLF_SCRIPT}
  COMMENT "Rendering the manual page as text"
  VERBATIM)
set(VANTORIX_WINDOWS_DOCS ${VANTORIX_SAMPLE_CRLF} ${VANTORIX_MANUAL_CRLF})
# OpenSSL's DLLs go beside the program, which loads them from its own folder
# and nowhere else, with the licence they are distributed under.
if(VANTORIX_TLS)
  set(VANTORIX_OPENSSL_LICENSE_CRLF ${CMAKE_CURRENT_BINARY_DIR}/package/openssl-license.txt)
  add_custom_command(
    OUTPUT ${VANTORIX_OPENSSL_LICENSE_CRLF}
    COMMAND ${CMAKE_COMMAND} -DIN=${VANTORIX_OPENSSL_DIR}/LICENSE.txt -DOUT=${VANTORIX_OPENSSL_LICENSE_CRLF}
            -P ${VANTORIX_CRLF_SCRIPT}
    DEPENDS ${VANTORIX_OPENSSL_DIR}/LICENSE.txt ${VANTORIX_CRLF_SCRIPT}
    COMMENT "Writing OpenSSL's licence with CR LF line ends"
    VERBATIM)
  list(APPEND VANTORIX_WINDOWS_DOCS ${VANTORIX_OPENSSL_LICENSE_CRLF})
endif()
add_custom_target(vantorix_windows_docs ALL DEPENDS ${VANTORIX_WINDOWS_DOCS})

install(TARGETS vantorix RUNTIME DESTINATION . COMPONENT vantorix)
install(FILES ${VANTORIX_WINDOWS_DOCS} DESTINATION . COMPONENT vantorix)
if(VANTORIX_TLS)
  install(FILES ${VANTORIX_OPENSSL_DLLS} DESTINATION . COMPONENT vantorix)
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME vantorix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vantorix developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "RADIUS authentication helper for mail servers")
set(CPACK_PACKAGE_FILE_NAME vantorix-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
# Only what the rules above install: nothing of the test builds.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};vantorix;vantorix;/")

include(CPack)
