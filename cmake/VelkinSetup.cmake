# velkin_add_setup(<target> [MSI <package>])
#
# With MSI: the setup executable <target>.exe around <package>, made by
# velkin-pack from the stub (the package as RCDATA "MSI", its product code as
# RCDATA "PRODUCT_CODE", a version record describing the product). Without:
# the stub itself, the wrapper with its manifest, icon and version record.

set(VELKIN_WRAPPER_DIR ${CMAKE_CURRENT_LIST_DIR}/../wrapper)

function(velkin_add_setup target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "MSI" "")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "velkin_add_setup(${target}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(arg_MSI)
    velkin_pack_setup(${target} ${arg_MSI})
  else()
    velkin_build_stub(${target})
  endif()
endfunction()

function(velkin_pack_setup target msi)
  get_filename_component(package "${msi}" ABSOLUTE)
  if(NOT EXISTS "${package}")
    message(FATAL_ERROR "velkin_add_setup(${target}): package ${package} does not exist")
  endif()
  set(output ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${target}.exe)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${VELKIN_WINEPREFIX}
      ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/velkin-pack ${package} -o ${output}
      --stub $<TARGET_FILE:velkin-setup>
    DEPENDS ${package} velkin-pack velkin-setup
    COMMENT "Packing ${target}.exe around ${msi}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

function(velkin_build_stub target)
  set(VELKIN_RESOURCES_DIR ${VELKIN_WRAPPER_DIR}/resources)
  set(VELKIN_SETUP_FILE_NAME ${target}.exe)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${VELKIN_RESOURCES_DIR}/setup.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS
    "${VELKIN_RESOURCES_DIR}/velkin-setup.manifest;${VELKIN_RESOURCES_DIR}/velkin.ico")

  add_executable(${target} WIN32 ${VELKIN_WRAPPER_DIR}/WinMain.cpp ${rc})
  target_link_libraries(${target} PRIVATE velkin-wrapper)
  if(NOT MSVC)
    # Wine maps an image's sections straight from the file only at this
    # alignment; at the default it copies them, the package included, into
    # private memory.
    target_link_options(${target} PRIVATE -Wl,--file-alignment,4096)
    # No symbol table: the resource update that packs a setup rewrites the
    # sections but not the table's place in the file, and leaves it broken.
    target_link_options(${target} PRIVATE -s)
  endif()
endfunction()
