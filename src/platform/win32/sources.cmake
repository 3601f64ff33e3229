# Win32 backend of the platform seam.
target_sources(zelto_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/clock_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/code_page_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dynamic_library_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shared_memory_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/trace_win.cpp)

# RegDeleteTree and the registry calls, MessageBoxA.
target_link_libraries(zelto_platform PUBLIC advapi32 user32)
