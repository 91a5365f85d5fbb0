# velkin_build_package(<out_var> <wxs> [wixl arguments...]): builds an
# installer package from a WiX source with wixl when CMake configures, and
# again whenever the source (or a file in the folder of its name) changes.
# <out_var> receives the package path.
find_program(VELKIN_WIXL wixl)

function(velkin_build_package out_var wxs)
  if(NOT VELKIN_WIXL)
    message(FATAL_ERROR "wixl (Debian package wixl) is needed to build ${wxs}")
  endif()
  get_filename_component(source "${wxs}" ABSOLUTE)
  get_filename_component(name "${wxs}" NAME_WE)
  get_filename_component(source_dir "${source}" DIRECTORY)
  set(package ${CMAKE_BINARY_DIR}/packages/${name}.msi)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
  file(GLOB_RECURSE inputs CONFIGURE_DEPENDS ${source_dir}/${name}/*)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source} ${inputs})
  # wixl stamps every package it builds anew, and everything embedding the
  # package would be rebuilt: build only when a source is newer.
  set(stale FALSE)
  foreach(input IN LISTS source inputs)
    if(NOT EXISTS ${package} OR ${input} IS_NEWER_THAN ${package})
      set(stale TRUE)
    endif()
  endforeach()
  if(stale)
    execute_process(COMMAND ${VELKIN_WIXL} ${ARGN} -o ${package} ${source}
      WORKING_DIRECTORY ${source_dir} RESULT_VARIABLE status ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
      file(REMOVE ${package})
      message(FATAL_ERROR "wixl could not build ${wxs}: ${errors}")
    endif()
  endif()
  set(${out_var} ${package} PARENT_SCOPE)
endfunction()

# velkin_derive_package(<out_var> <base package> <name> <sql>): a copy of a
# package changed by one SQL statement (msibuild), for the tests of broken
# packages.
find_program(VELKIN_MSIBUILD msibuild)

function(velkin_derive_package out_var base name sql)
  if(NOT VELKIN_MSIBUILD)
    message(FATAL_ERROR "msibuild (Debian package msitools) is needed to make ${name}.msi")
  endif()
  set(package ${CMAKE_BINARY_DIR}/packages/${name}.msi)
  if(NOT EXISTS ${package} OR ${base} IS_NEWER_THAN ${package})
    file(COPY_FILE ${base} ${package})
    execute_process(COMMAND ${VELKIN_MSIBUILD} ${package} -q "${sql}"
      RESULT_VARIABLE status ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
      file(REMOVE ${package})
      message(FATAL_ERROR "msibuild could not make ${name}.msi: ${errors}")
    endif()
  endif()
  set(${out_var} ${package} PARENT_SCOPE)
endfunction()
