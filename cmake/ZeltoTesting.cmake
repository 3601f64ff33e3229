# One line per test binary:
#   zelto_add_test(<name> LABEL <labels...> SOURCES <files...>
#                  [LIBS <targets...>] [SERVER] [SIM] [NATIVE_ONLY] [WINDOWS_ONLY]
#                  [RESOURCE_LOCK <lock>])
# The binary links the core, GoogleTest/GMock and the test support library; every
# case becomes one CTest test labelled with the subsystem, plus "wine" when the
# binary is a Windows one run through the emulator.
#   SERVER  the test loads the built module: ZELTO_MODULE_PATH names it, it is built
#           first, and the test links the COM runtime.
#   SIM     the test loads ZeltoSim itself: ZELTOSIM_PATH names it and it is built
#           first (tests that link zelto_sim_card get this from it).

option(ZELTO_FUZZ "Build the libFuzzer targets (clang; the fuzz preset)" OFF)

include(GoogleTest)

function(zelto_add_test name)
  cmake_parse_arguments(ARG "NATIVE_ONLY;WINDOWS_ONLY;SERVER;SIM" "RESOURCE_LOCK"
    "LABEL;SOURCES;LIBS" ${ARGN})
  if(ARG_NATIVE_ONLY AND CMAKE_CROSSCOMPILING)
    return()
  endif()
  if(ARG_WINDOWS_ONLY AND NOT WIN32)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  zelto_target_defaults(${name})
  target_link_libraries(${name} PRIVATE zelto_test_support zelto_core ${ARG_LIBS}
    GTest::gmock_main GTest::gmock GTest::gtest Threads::Threads)
  if(ARG_SERVER)
    target_link_libraries(${name} PRIVATE zeltocom)
    target_compile_definitions(${name} PRIVATE ZELTO_MODULE_PATH="$<TARGET_FILE:OrvZeltoRGB>")
    add_dependencies(${name} OrvZeltoRGB)
  endif()
  if(ARG_SIM)
    target_link_libraries(${name} PRIVATE zeltosim_headers)
    target_compile_definitions(${name} PRIVATE ZELTOSIM_PATH="$<TARGET_FILE:zeltosim>")
    add_dependencies(${name} zeltosim)
  endif()
  set(labels ${ARG_LABEL})
  if(CMAKE_CROSSCOMPILING)
    list(APPEND labels wine)
  endif()
  # The labels travel as one list-valued property through several rounds of
  # list expansion in GoogleTest's discovery scripts; this many escapes keep
  # their separators.
  string(REPLACE ";" "\\\\\\\\\\\\\\;" labels "${labels}")
  set(lock)
  if(ARG_RESOURCE_LOCK)
    set(lock RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${labels}" TIMEOUT 120 ${lock})
endfunction()

# A test binary with its own main() whose cases are many short scenarios:
#   zelto_add_sharded_test(<name> LABEL <labels...> SOURCES <files...> SHARDS <n>
#                          [LIBS <targets...>] [SERVER] [NATIVE_ONLY] [RESOURCE_LOCK <lock>])
# It runs as <n> CTest tests <name>.shard<i>, each one GoogleTest shard of the cases
# (GTEST_TOTAL_SHARDS / GTEST_SHARD_INDEX), so that ctest -j spreads them. The
# binary links GoogleTest without its main. RESOURCE_LOCK holds only under Wine,
# where every process shares one registry; natively each test has its own.
function(zelto_add_sharded_test name)
  cmake_parse_arguments(ARG "NATIVE_ONLY;SERVER" "SHARDS;RESOURCE_LOCK" "LABEL;SOURCES;LIBS"
    ${ARGN})
  if(ARG_NATIVE_ONLY AND CMAKE_CROSSCOMPILING)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  zelto_target_defaults(${name})
  target_link_libraries(${name} PRIVATE zelto_test_support zelto_core ${ARG_LIBS}
    GTest::gtest Threads::Threads)
  if(ARG_SERVER)
    target_link_libraries(${name} PRIVATE zeltocom)
    target_compile_definitions(${name} PRIVATE ZELTO_MODULE_PATH="$<TARGET_FILE:OrvZeltoRGB>")
    add_dependencies(${name} OrvZeltoRGB)
  endif()
  set(labels ${ARG_LABEL})
  if(CMAKE_CROSSCOMPILING)
    list(APPEND labels wine)
  endif()
  math(EXPR last "${ARG_SHARDS} - 1")
  foreach(shard RANGE ${last})
    add_test(NAME ${name}.shard${shard} COMMAND ${name})
    set_tests_properties(${name}.shard${shard} PROPERTIES
      LABELS "${labels}" TIMEOUT 600
      ENVIRONMENT "GTEST_TOTAL_SHARDS=${ARG_SHARDS};GTEST_SHARD_INDEX=${shard}")
    if(ARG_RESOURCE_LOCK AND CMAKE_CROSSCOMPILING)
      set_tests_properties(${name}.shard${shard} PROPERTIES RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
    endif()
  endforeach()
endfunction()
