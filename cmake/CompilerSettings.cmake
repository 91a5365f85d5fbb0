# Settings shared by every target of the project.

if(MSVC)
  add_compile_options(/W4 /permissive- /utf-8 /EHsc)
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
else()
  add_compile_options(-Wall -Wextra)
  # Small programs: dropping every function and datum that nothing uses.
  add_compile_options(-ffunction-sections -fdata-sections)
  add_link_options(-Wl,--gc-sections)
  # The same bytes from the same sources wherever the tree and the build
  # directory are: source paths (in error locations) are written relative to
  # the tree.
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=)
endif()

if(WIN32)
  # Wide-character Windows API everywhere; <windows.h> is only ever included
  # through WindowsApi.h, which also sets the lean-and-mean switches.
  add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601)
  if(NOT MSVC)
    # The setup stub is in every download, and nothing in it waits on the
    # processor (its time goes to writing the package and to msiexec):
    # optimised for size, it is about 100 KiB smaller than with -O3.
    add_compile_options($<$<CONFIG:Release>:-Os>)
    # No DLL beyond the system's: the C and C++ runtimes and winpthread are
    # linked into every executable.
    add_link_options(-static -static-libgcc -static-libstdc++)
    # The secure CRT functions (_vsnwprintf_s, _wcserror_s) are declared by
    # MinGW-w64 only on request.
    add_compile_definitions(MINGW_HAS_SECURE_API=1)
    # No link time in the image: the same sources give the same program.
    add_link_options(-Wl,--no-insert-timestamp)
  endif()
endif()
