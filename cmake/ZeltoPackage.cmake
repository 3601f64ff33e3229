# What `cmake --install` puts where, the CMake package a native host finds, and the
# CPack ZIP of the Windows build. Only the product: the module, its headers, the
# simulated card, the sample time source plug-in and the host tool.
#
#   Windows (flat, as it is unzipped): OrvZeltoRGB.dll zeltorgb.tlb ZeltoSim.dll
#     ZeltoTimeSource.dll zeltograb.exe register.cmd unregister.cmd README.md
#     include/zeltorgb/ examples/minimal_host/
#   Native: bin/zeltograb bin/zeltograb-report lib/libOrvZeltoRGB.so lib/libzeltocom.so
#     lib/ZeltoSim.so lib/ZeltoTimeSource.so include/zeltorgb/ lib/cmake/ZeltoRGB/
#     share/doc/zeltorgb/README.md share/zeltorgb/examples/minimal_host/

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

if(WIN32)
  set(zelto_bin_dir .)
  set(zelto_lib_dir .)
  set(zelto_doc_dir .)
  set(zelto_example_dir examples)
else()
  set(zelto_bin_dir ${CMAKE_INSTALL_BINDIR})
  set(zelto_lib_dir ${CMAKE_INSTALL_LIBDIR})
  set(zelto_doc_dir ${CMAKE_INSTALL_DOCDIR})
  set(zelto_example_dir ${CMAKE_INSTALL_DATADIR}/zeltorgb/examples)
  # The tool finds the module and ZeltoSim in ../lib; the module finds libzeltocom
  # beside itself.
  file(RELATIVE_PATH zelto_bin_to_lib ${CMAKE_INSTALL_PREFIX}/${zelto_bin_dir}
    ${CMAKE_INSTALL_PREFIX}/${zelto_lib_dir})
  set_target_properties(zeltograb PROPERTIES INSTALL_RPATH "$ORIGIN/${zelto_bin_to_lib}")
  set_target_properties(OrvZeltoRGB zeltosim zelto_timesource PROPERTIES INSTALL_RPATH "$ORIGIN")
endif()

install(TARGETS OrvZeltoRGB zeltosim zelto_timesource
  RUNTIME DESTINATION ${zelto_bin_dir}
  LIBRARY DESTINATION ${zelto_lib_dir})
install(TARGETS zeltograb RUNTIME DESTINATION ${zelto_bin_dir})
install(DIRECTORY include/zeltorgb DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES packaging/README.md DESTINATION ${zelto_doc_dir})
install(DIRECTORY packaging/examples/minimal_host DESTINATION ${zelto_example_dir})
install(PROGRAMS scripts/report DESTINATION ${zelto_bin_dir} RENAME zeltograb-report)

if(WIN32)
  install(FILES ${PROJECT_BINARY_DIR}/src/module/zeltorgb.tlb packaging/register.cmd
    packaging/unregister.cmd DESTINATION .)
else()
  install(TARGETS zeltocom EXPORT ZeltoRGBTargets
    LIBRARY DESTINATION ${zelto_lib_dir})
  install(EXPORT ZeltoRGBTargets NAMESPACE ZeltoRGB::
    DESTINATION ${zelto_lib_dir}/cmake/ZeltoRGB)
  set(ZELTO_MODULE_FILE $<TARGET_FILE_NAME:OrvZeltoRGB>)
  set(ZELTO_SIM_FILE $<TARGET_FILE_NAME:zeltosim>)
  set(ZELTO_TIME_SOURCE_FILE $<TARGET_FILE_NAME:zelto_timesource>)
  configure_package_config_file(cmake/ZeltoRGBConfig.cmake.in
    ${PROJECT_BINARY_DIR}/ZeltoRGBConfig.cmake.gen
    INSTALL_DESTINATION ${zelto_lib_dir}/cmake/ZeltoRGB
    PATH_VARS zelto_lib_dir)
  file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/ZeltoRGBConfig.cmake
    INPUT ${PROJECT_BINARY_DIR}/ZeltoRGBConfig.cmake.gen)
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZeltoRGBConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/ZeltoRGBConfig.cmake
    ${PROJECT_BINARY_DIR}/ZeltoRGBConfigVersion.cmake
    DESTINATION ${zelto_lib_dir}/cmake/ZeltoRGB)
endif()

set(CPACK_PACKAGE_NAME ZeltoRGB)
set(CPACK_PACKAGE_VENDOR Zelto)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ZeltoRGB grabber module")
if(WIN32)
  set(CPACK_PACKAGE_FILE_NAME ZeltoRGB-${PROJECT_VERSION}-win32)
else()
  set(CPACK_PACKAGE_FILE_NAME ZeltoRGB-${PROJECT_VERSION}-linux-x86_64)
endif()
set(CPACK_GENERATOR ZIP)
include(CPack)
