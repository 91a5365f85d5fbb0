# Settings shared by every target of the project.

# Wide-character Windows API everywhere; <windows.h> is only ever included
# through WindowsApi.h, which also sets the lean-and-mean switches.
add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601)

if(MSVC)
  add_compile_options(/W4 /permissive- /utf-8 /EHsc)
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
else()
  add_compile_options(-Wall -Wextra)
  # No DLL beyond the system's: the C and C++ runtimes and winpthread are
  # linked into every executable.
  add_link_options(-static -static-libgcc -static-libstdc++)
  # Small programs: the setup stub is in every download, and nothing in it
  # waits on the processor (its time goes to writing the package and to
  # msiexec). Optimising for size, and dropping every function and datum that
  # nothing uses, keeps it about 100 KiB smaller than -O3 does.
  add_compile_options($<$<CONFIG:Release>:-Os> -ffunction-sections -fdata-sections)
  add_link_options(-Wl,--gc-sections)
  # The secure CRT functions (_vsnwprintf_s, _wcserror_s) are declared by
  # MinGW-w64 only on request.
  add_compile_definitions(MINGW_HAS_SECURE_API=1)
endif()

