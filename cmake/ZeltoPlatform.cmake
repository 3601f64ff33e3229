# Target-wide settings: which backend of the platform seam is built, warnings,
# sanitizers and the static runtime of the Windows build.

if(WIN32)
  set(ZELTO_PLATFORM win32)
else()
  set(ZELTO_PLATFORM posix)
endif()

find_package(Threads REQUIRED)

function(zelto_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wno-missing-field-initializers)
  if(ZELTO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(WIN32)
    target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX
      _WIN32_WINNT=0x0601 UNICODE_NOT_USED)
  endif()
endfunction()

if(ZELTO_SANITIZE AND NOT CMAKE_CROSSCOMPILING)
  string(REPLACE ";" "," _zelto_san "${ZELTO_SANITIZE}")
  add_compile_options(-fsanitize=${_zelto_san} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${_zelto_san})
endif()

if(WIN32)
  # One self-contained DLL/EXE: libgcc, libstdc++ and winpthread linked in.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
