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

include(${CMAKE_CURRENT_LIST_DIR}/exported_names.cmake)
zelto_exported_names(names ${LIBRARY} ${TOOL} ${MODE})

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
