# Read by cpack once for each generator. The .deb carries the manual page
# compressed, the licence as the copyright file and a changelog, as Debian
# wants; the .tar.gz carries what `cmake --install` installs.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENTS_ALL program readme debian)
endif()
