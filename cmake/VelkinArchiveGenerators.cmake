# Read by cpack once per generator: which install components each archive holds.
if(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_COMPONENTS_ALL windows-zip)
  set(CPACK_PACKAGE_FILE_NAME "velkin-${CPACK_PACKAGE_VERSION}-win64")
else()
  set(CPACK_COMPONENTS_ALL velkin)
endif()
