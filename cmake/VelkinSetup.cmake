# velkin_add_setup(<target> MSI <package> [OUTPUT <file>] [ICON <file>])
#
# A target that makes the setup executable around <package> with velkin-pack
# from the stub (the package as RCDATA "MSI", its product code as RCDATA
# "PRODUCT_CODE", a version record describing the product, and with ICON the
# icon replaced). OUTPUT defaults to <target>.exe in the runtime output
# directory, or else in the current binary directory; relative paths count
# from the current source (MSI, ICON) and binary (OUTPUT) directories. The
# setup is made again when the package, the icon or Velkin changes; the
# package may itself be the output of a custom command.
#
# Velkin's own build and its installed package config share this file; both
# define Velkin::velkin-pack (the program for the host the build runs on) and
# Velkin::velkin-setup first. Velkin's own Windows build on a Linux host packs
# with the Linux velkin-pack that the host build made, VELKIN_PACK_COMMAND.

function(velkin_add_setup target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "MSI;OUTPUT;ICON" "")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "velkin_add_setup(${target}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_MSI)
    message(FATAL_ERROR "velkin_add_setup(${target}): MSI <package> is required")
  endif()
  get_filename_component(package "${arg_MSI}" ABSOLUTE)
  if(arg_OUTPUT)
    get_filename_component(output "${arg_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  elseif(CMAKE_RUNTIME_OUTPUT_DIRECTORY)
    set(output "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${target}.exe")
  else()
    set(output "${CMAKE_CURRENT_BINARY_DIR}/${target}.exe")
  endif()
  get_filename_component(output_dir "${output}" DIRECTORY)

  set(pack_arguments "${package}" -o "${output}" --stub $<TARGET_FILE:Velkin::velkin-setup>)
  set(inputs "${package}" Velkin::velkin-setup)
  if(VELKIN_PACK_COMMAND)
    set(pack_command "${VELKIN_PACK_COMMAND}")
    list(APPEND inputs "${VELKIN_PACK_COMMAND}")
  else()
    set(pack_command $<TARGET_FILE:Velkin::velkin-pack>)
    list(APPEND inputs Velkin::velkin-pack)
  endif()
  if(arg_ICON)
    get_filename_component(icon "${arg_ICON}" ABSOLUTE)
    list(APPEND pack_arguments --icon "${icon}")
    list(APPEND inputs "${icon}")
  endif()

  add_custom_command(OUTPUT "${output}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${output_dir}"
    COMMAND ${pack_command} ${pack_arguments}
    DEPENDS ${inputs}
    COMMENT "Packing ${output} around ${package}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${output}")
endfunction()
