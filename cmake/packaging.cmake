# Installation and packages.
#
#   cmake --install build --prefix /usr/local
#     bin/qev, share/man/man1/qev.1, share/doc/qev/README.md and LICENSE
#   cpack (in a build directory)
#     Linux: qev_<version>_amd64.deb and qev-<version>-Linux.tar.gz
#     Windows: qev-<version>-win64.zip with qev.exe, README.md and LICENSE
#
# What goes where is told by components: program, manual, readme, license
# make a plain installation; debian holds what only the .deb carries (the
# manual page compressed, the copyright file and the changelog), and is
# excluded from a plain installation.

if(WIN32)
  # A zip to unpack anywhere: the program and its two documents side by side.
  install(TARGETS qev RUNTIME DESTINATION . COMPONENT program)
  install(FILES README.md LICENSE DESTINATION . COMPONENT readme)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_COMPONENTS_ALL program readme)
else()
  include(GNUInstallDirs)
  install(TARGETS qev RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
  install(FILES doc/qev.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT manual)
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT readme)
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT license)

  # Debian wants manual pages and changelogs compressed, with no time stamp
  # in the gzip header, and the licence as /usr/share/doc/<package>/copyright.
  find_program(QEV_GZIP gzip)
  if(QEV_GZIP)
    string(TIMESTAMP QEV_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
    configure_file(doc/changelog.in changelog @ONLY)
    set(QEV_DEBIAN_FILES)
    foreach(pair "${CMAKE_CURRENT_SOURCE_DIR}/doc/qev.1|qev.1.gz"
                 "${CMAKE_CURRENT_BINARY_DIR}/changelog|changelog.gz")
      string(REPLACE "|" ";" pair "${pair}")
      list(GET pair 0 source)
      list(GET pair 1 target)
      add_custom_command(OUTPUT ${target}
                         COMMAND ${QEV_GZIP} -9 -n -c ${source} > ${target}
                         DEPENDS ${source})
      list(APPEND QEV_DEBIAN_FILES ${CMAKE_CURRENT_BINARY_DIR}/${target})
    endforeach()
    add_custom_target(qev_debian_files ALL DEPENDS ${QEV_DEBIAN_FILES})
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qev.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT debian EXCLUDE_FROM_ALL)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR}
            COMPONENT debian EXCLUDE_FROM_ALL)
    install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright
            COMPONENT debian EXCLUDE_FROM_ALL)
  endif()

  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_COMPONENTS_ALL program manual readme license)
  # cmake/cpack_generator.cmake gives the .deb its own set.
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_SOURCE_DIR}/cmake/cpack_generator.cmake)
endif()

set(CPACK_PACKAGE_NAME qev)
set(CPACK_PACKAGE_VENDOR "the qev developers")
set(CPACK_PACKAGE_CONTACT "the qev developers <qev@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "qev lists, tests and extracts archives of format 3 (QEV3) and format 4 (QEV4),\n"
    "and creates them from files of the current directory, with members stored\n"
    "or compressed.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${CMAKE_CURRENT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies are what dpkg-shlibdeps finds in the program, no more.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
