# Checks that a built ZeltoSim exports exactly the 21 driver entry points, plus
# control functions named ZeltoSim_*. Arguments: -DLIBRARY=<file>
# -DTOOL=<nm or objdump> -DMODE=<nm|objdump>.
cmake_minimum_required(VERSION 3.25)
set(expected
  RGBCaptureInitialise RGBCaptureOpen RGBCaptureClose RGBCaptureEnable
  RGBCaptureGetCapabilities RGBCaptureGetParameters RGBCaptureSetParameters
  RGBCaptureAllocateBuffer RGBCaptureFreeBuffer RGBCaptureFrameBufferReady
  RGBCaptureGetVersion AccFreeBuffer AccAllocateBuffer AccPerformDraw
  RGBCaptureFillBuffer RGBCaptureGetVDIFFromRegistry RGBCaptureWriteVDIFToRegistry
  RGBCaptureDetectVideoMode RGBCaptureDeleteUserVDIF RGBCaptureSetADCColourCorrection
  RGBCaptureGetADCColourCorrection)

if(MODE STREQUAL "nm")
  execute_process(COMMAND ${TOOL} -D --defined-only ${LIBRARY}
    OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  string(REGEX MATCHALL "[^\n]+" lines "${out}")
  set(names)
  foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([^ ]+)$")
      list(APPEND names ${CMAKE_MATCH_1})
    endif()
  endforeach()
else()
  execute_process(COMMAND ${TOOL} -p ${LIBRARY} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  string(REGEX MATCHALL "[^\n]+" lines "${out}")
  set(names)
  set(in_table FALSE)
  foreach(line IN LISTS lines)
    if(line MATCHES "Ordinal/Name Pointer\\] Table")
      set(in_table TRUE)
    elseif(in_table AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] ([^ ]+)$")
      list(APPEND names ${CMAKE_MATCH_1})
    elseif(in_table)
      set(in_table FALSE)
    endif()
  endforeach()
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${TOOL} failed on ${LIBRARY}")
endif()

set(driver_names)
set(stray)
foreach(name IN LISTS names)
  if(name IN_LIST expected)
    list(APPEND driver_names ${name})
  elseif(NOT name MATCHES "^ZeltoSim_")
    list(APPEND stray ${name})
  endif()
endforeach()
list(REMOVE_DUPLICATES driver_names)
list(SORT driver_names)
set(sorted_expected ${expected})
list(SORT sorted_expected)
if(NOT driver_names STREQUAL sorted_expected)
  message(FATAL_ERROR "driver entry points exported: ${driver_names}")
endif()
if(stray)
  message(FATAL_ERROR "unexpected exports: ${stray}")
endif()
message(STATUS "ZeltoSim exports the 21 entry points")
