# velkin_add_setup(<target> [MSI <package> [PRODUCT_CODE <guid>]])
#
# Makes the setup executable <target>.exe: the wrapper, its manifest, icon and
# version record, and, with MSI, the package as RCDATA "MSI" and its product
# code as RCDATA "PRODUCT_CODE" (the 38 characters of the braced GUID, no
# terminator). Without PRODUCT_CODE the package's own ProductCode is read
# with msiinfo. Without MSI the result is the bare stub.

set(VELKIN_WRAPPER_DIR ${CMAKE_CURRENT_LIST_DIR}/../wrapper)
find_program(VELKIN_MSIINFO msiinfo)

function(velkin_read_product_code package out_var)
  if(NOT VELKIN_MSIINFO)
    message(FATAL_ERROR "msiinfo (Debian package msitools) is needed to read the ProductCode of ${package}")
  endif()
  execute_process(COMMAND ${VELKIN_MSIINFO} export ${package} Property
    OUTPUT_VARIABLE properties ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "Cannot read the properties of ${package}: ${errors}")
  endif()
  if(NOT properties MATCHES "(^|\n)ProductCode\t([^\r\n]*)")
    message(FATAL_ERROR "${package} has no ProductCode property")
  endif()
  set(${out_var} "${CMAKE_MATCH_2}" PARENT_SCOPE)
endfunction()

function(velkin_add_setup target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "MSI;PRODUCT_CODE" "")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "velkin_add_setup(${target}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()

  set(payload "")
  set(payload_files "")
  if(arg_MSI)
    get_filename_component(package "${arg_MSI}" ABSOLUTE)
    if(NOT EXISTS "${package}")
      message(FATAL_ERROR "velkin_add_setup(${target}): package ${package} does not exist")
    endif()
    set(product_code "${arg_PRODUCT_CODE}")
    if(NOT product_code)
      velkin_read_product_code("${package}" product_code)
    endif()
    # CMake's regular expressions have no counted repetition.
    string(REPEAT "[0-9A-Fa-f]" 4 hex4)
    if(NOT product_code MATCHES "^[{]${hex4}${hex4}-${hex4}-${hex4}-${hex4}-${hex4}${hex4}${hex4}[}]$")
      message(FATAL_ERROR "velkin_add_setup(${target}): ProductCode '${product_code}' of ${package} is not a braced GUID")
    endif()
    set(code_file ${CMAKE_CURRENT_BINARY_DIR}/${target}-product-code.bin)
    # Written only when it changes, so that a new configure run rebuilds nothing.
    file(CONFIGURE OUTPUT ${code_file} CONTENT "${product_code}")
    set(payload "MSI RCDATA \"${package}\"\nPRODUCT_CODE RCDATA \"${code_file}\"")
    set(payload_files ${package} ${code_file})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${package})
  endif()

  set(VELKIN_RESOURCES_DIR ${VELKIN_WRAPPER_DIR}/resources)
  set(VELKIN_SETUP_FILE_NAME ${target}.exe)
  set(VELKIN_PAYLOAD "${payload}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${VELKIN_RESOURCES_DIR}/setup.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS
    "${payload_files};${VELKIN_RESOURCES_DIR}/velkin-setup.manifest;${VELKIN_RESOURCES_DIR}/velkin.ico")

  add_executable(${target} WIN32 ${VELKIN_WRAPPER_DIR}/WinMain.cpp ${rc})
  target_link_libraries(${target} PRIVATE velkin-wrapper)
  if(NOT MSVC)
    # Wine maps an image's sections straight from the file only at this
    # alignment; at the default it copies them, the package included, into
    # private memory.
    target_link_options(${target} PRIVATE -Wl,--file-alignment,4096)
  endif()
endfunction()
