# POSIX backend of the platform seam.
target_sources(zelto_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/clock_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dynamic_library_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shared_memory_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/trace_posix.cpp)

# The registry store.
find_package(SQLite3 REQUIRED)
find_library(ZELTO_RT_LIBRARY rt)
target_link_libraries(zelto_core PUBLIC SQLite::SQLite3 ${CMAKE_DL_LIBS}
  $<$<BOOL:${ZELTO_RT_LIBRARY}>:${ZELTO_RT_LIBRARY}>)
