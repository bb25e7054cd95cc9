# What users install. Linux: reclaima-cli with its manual page and the licence, by
# `cmake --install` or as a .deb from CPack. Windows: the window program with a
# read-me and the licence, as a zip from CPack. Each build writes the name of its
# package to package-name.txt for the release script, or removes it when it has none.
include(GNUInstallDirs)

set(package_name_file ${CMAKE_BINARY_DIR}/package-name.txt)
set(CPACK_PACKAGE_VENDOR "Vantobel")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)

if(WIN32)
  if(NOT TARGET Reclaima)
    message(STATUS "No window program (target Reclaima) in this build: no Windows package")
    file(REMOVE ${package_name_file})
    return()
  endif()
  # Notepad on older Windows wants CRLF, and the byte-order mark the read-me carries.
  configure_file(${PROJECT_SOURCE_DIR}/docs/README-windows.txt
                 ${CMAKE_BINARY_DIR}/package/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/package/LICENSE.txt
                 @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS Reclaima RUNTIME DESTINATION .)
  install(FILES ${CMAKE_BINARY_DIR}/package/README.txt ${CMAKE_BINARY_DIR}/package/LICENSE.txt
          DESTINATION .)

  math(EXPR bits "${CMAKE_SIZEOF_VOID_P} * 8")
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "Reclaima-${PROJECT_VERSION}-win${bits}")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(package_file ${CPACK_PACKAGE_FILE_NAME}.zip)
else()
  # Debian keeps manual pages compressed.
  set(man_page ${CMAKE_BINARY_DIR}/cli/reclaima-cli.1)
  configure_file(${PROJECT_SOURCE_DIR}/cli/reclaima-cli.1.in ${man_page} @ONLY)
  add_custom_command(OUTPUT ${man_page}.gz
                     COMMAND gzip -9 -n -k -f ${man_page}
                     DEPENDS ${man_page}
                     COMMENT "Compressing the manual page")
  add_custom_target(reclaima_man_page ALL DEPENDS ${man_page}.gz)

  install(TARGETS reclaima-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${man_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/reclaima-cli RENAME copyright)

  execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE architecture
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME reclaima-cli)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "recover lost files from a disk partition by carving")
  set(CPACK_PACKAGE_DESCRIPTION "reclaima-cli walks a block device or a disk image sector by sector,\n\
ignoring the file system, and saves every JPG, PNG, GIF, RTF, RAR, ZIP, 7Z,\n\
RMVB and FLV file it finds there, deleted ones included. It can write a DFXML\n\
record of what came from where.")
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Vantobel <support@vantobel.example>")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${architecture})
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_FILE_NAME "reclaima-cli_${PROJECT_VERSION}_${architecture}.deb")
  set(package_file ${CPACK_DEBIAN_FILE_NAME})
endif()

# Rewritten only when it changes: tests read it while a release reconfigures.
file(CONFIGURE OUTPUT ${package_name_file} CONTENT "${package_file}\n")
include(CPack)
