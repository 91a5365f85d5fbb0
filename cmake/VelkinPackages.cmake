# velkin_build_package(<out_var> <wxs> [NAME <name>] [wixl arguments...]):
# builds an installer package from a WiX source with wixl when CMake
# configures, and again whenever the source (or a file in the folder of its
# name) changes. The package is named after the source, or <name> (one source
# built with several -D values). <out_var> receives the package path.
find_program(VELKIN_WIXL wixl)

# Sets <out_var> when <package> is missing or older than one of <inputs>.
# Packaging tools stamp every package anew, and everything that embeds one
# would be rebuilt on every configure run: packages are made only when stale.
function(velkin_package_is_stale out_var package inputs)
  set(stale FALSE)
  foreach(input IN LISTS inputs)
    if(NOT EXISTS ${package} OR ${input} IS_NEWER_THAN ${package})
      set(stale TRUE)
    endif()
  endforeach()
  set(${out_var} ${stale} PARENT_SCOPE)
endfunction()

# Runs one packaging command (execute_process() arguments); on failure removes
# the half-made <package> and stops the configure step.
function(velkin_run_package_tool package)
  execute_process(${ARGN} RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    file(REMOVE ${package})
    message(FATAL_ERROR "Cannot make ${package}: ${errors}")
  endif()
endfunction()

function(velkin_build_package out_var wxs)
  if(NOT VELKIN_WIXL)
    message(FATAL_ERROR "wixl (Debian package wixl) is needed to build ${wxs}")
  endif()
  get_filename_component(source "${wxs}" ABSOLUTE)
  get_filename_component(name "${wxs}" NAME_WE)
  get_filename_component(source_dir "${source}" DIRECTORY)
  set(wixl_arguments ${ARGN})
  set(package_name ${name})
  if(ARGC GREATER 3 AND ARGV2 STREQUAL "NAME")
    set(package_name ${ARGV3})
    list(REMOVE_AT wixl_arguments 0 1)
  endif()
  set(package ${CMAKE_BINARY_DIR}/packages/${package_name}.msi)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
  file(GLOB_RECURSE inputs CONFIGURE_DEPENDS ${source_dir}/${name}/*)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source} ${inputs})
  set(all_inputs ${source} ${inputs})
  velkin_package_is_stale(stale ${package} "${all_inputs}")
  if(stale)
    velkin_run_package_tool(${package}
      COMMAND ${VELKIN_WIXL} ${wixl_arguments} -o ${package} ${source} WORKING_DIRECTORY ${source_dir})
  endif()
  set(${out_var} ${package} PARENT_SCOPE)
endfunction()

# velkin_derive_package(<out_var> <base package> <name> <sql>...): a copy of a
# package changed by SQL statements (msibuild), in order, for the tests of
# broken packages.
find_program(VELKIN_MSIBUILD msibuild)

function(velkin_derive_package out_var base name)
  if(NOT VELKIN_MSIBUILD)
    message(FATAL_ERROR "msibuild (Debian package msitools) is needed to make ${name}.msi")
  endif()
  set(package ${CMAKE_BINARY_DIR}/packages/${name}.msi)
  velkin_package_is_stale(stale ${package} ${base})
  if(stale)
    set(queries)
    foreach(sql IN LISTS ARGN)
      list(APPEND queries -q ${sql})
    endforeach()
    file(COPY_FILE ${base} ${package})
    velkin_run_package_tool(${package} COMMAND ${VELKIN_MSIBUILD} ${package} ${queries})
  endif()
  set(${out_var} ${package} PARENT_SCOPE)
endfunction()

# velkin_import_table(<out_var> <base package> <name> <idt file>): a copy of a
# package with one more table, imported from msitools' table format.
function(velkin_import_table out_var base name idt)
  if(NOT VELKIN_MSIBUILD)
    message(FATAL_ERROR "msibuild (Debian package msitools) is needed to make ${name}.msi")
  endif()
  set(package ${CMAKE_BINARY_DIR}/packages/${name}.msi)
  velkin_package_is_stale(stale ${package} "${base};${idt}")
  if(stale)
    file(COPY_FILE ${base} ${package})
    velkin_run_package_tool(${package} COMMAND ${VELKIN_MSIBUILD} ${package} -i ${idt})
  endif()
  set(${out_var} ${package} PARENT_SCOPE)
endfunction()
