# POSIX backend of the platform seam.
target_sources(zelto_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/clock_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/code_page_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dynamic_library_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shared_memory_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/trace_posix.cpp)

# The registry store.
# The registry store; dlopen and shm_open live in libc on current glibc, in libdl
# and librt on older ones.
find_package(SQLite3 REQUIRED)
target_link_libraries(zelto_platform PUBLIC SQLite::SQLite3 ${CMAKE_DL_LIBS})
include(CheckLibraryExists)
check_library_exists(rt shm_open "" ZELTO_HAVE_LIBRT)
if(ZELTO_HAVE_LIBRT)
  target_link_libraries(zelto_platform PUBLIC rt)
endif()
