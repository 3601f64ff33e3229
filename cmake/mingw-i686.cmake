# Cross build for 32-bit Windows with mingw-w64 (the -posix thread variant, which
# provides std::thread). Tests run under Wine through the wrapper below.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Where this machine keeps what the build takes from Wine and Debian: the IDL
# compiler, the .idl files it imports, stdole2.tlb (for importlib) and the
# GoogleTest sources, built with the cross compiler. Override on the command line.
find_program(ZELTO_WIDL NAMES i686-w64-mingw32-widl widl)
set(ZELTO_WIDL_INCLUDE_DIR /usr/include/wine/wine/windows CACHE PATH
  "Directory of the Wine .idl files the type library imports")
set(ZELTO_STDOLE2_DIR /usr/lib/i386-linux-gnu/wine/i386-windows CACHE PATH
  "Directory holding Wine's 32-bit stdole2.tlb")
set(ZELTO_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH
  "GoogleTest source tree, built with the cross compiler")

if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  # Wine's helper processes inherit the standard streams of whatever starts them;
  # the wrapper keeps them off ctest's pipes.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
endif()
