# What `cmake --install` puts where, relative to the install prefix (the Debian packages use
# /usr). Each item belongs to the component that becomes its package (cmake/Packaging.cmake).
include(GNUInstallDirs)

# Plug-ins live in a folder of their own: they are loaded by path, not linked, so they stay out
# of the loader's search path. Debian's multiarch library folder keeps the architectures apart.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(plc_default_plugin_dir "lib/${CMAKE_LIBRARY_ARCHITECTURE}/plc-drivers")
else()
  set(plc_default_plugin_dir "lib/plc-drivers")
endif()
set(PLC_PLUGIN_DIR "${plc_default_plugin_dir}" CACHE STRING
    "Folder of the driver plug-ins, relative to the install prefix or absolute")
set(PLC_INCLUDE_DIR "${CMAKE_INSTALL_INCLUDEDIR}/plc-drivers" CACHE STRING
    "Folder of the host-facing headers, relative to the install prefix or absolute")

install(TARGETS Korvane LIBRARY DESTINATION "${PLC_PLUGIN_DIR}" COMPONENT korvane)
install(TARGETS Pellimor LIBRARY DESTINATION "${PLC_PLUGIN_DIR}" COMPONENT pellimor)
install(TARGETS drvhost plcsim RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT tools)
install(FILES common/CDriveBaseClass.h common/CLabelVariable.h
        DESTINATION "${PLC_INCLUDE_DIR}" COMPONENT dev)

# For host authors (the -dev package): the value library beside the headers, a pkg-config file
# and a CMake package config. Both name the plug-in folder, so a host finds the installed
# plug-ins without spelling out the multiarch path.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(plc_lib_dir "lib/${CMAKE_LIBRARY_ARCHITECTURE}")
else()
  set(plc_lib_dir "${CMAKE_INSTALL_LIBDIR}")
endif()
set(plc_cmake_dir "${plc_lib_dir}/cmake/PlcDrivers")
install(TARGETS plc_label_variable EXPORT PlcDriversTargets
        ARCHIVE DESTINATION "${plc_lib_dir}" COMPONENT dev
        INCLUDES DESTINATION "${PLC_INCLUDE_DIR}")
install(EXPORT PlcDriversTargets NAMESPACE PlcDrivers:: DESTINATION "${plc_cmake_dir}" COMPONENT dev)

include(CMakePackageConfigHelpers)
configure_package_config_file(cmake/PlcDriversConfig.cmake.in "${PROJECT_BINARY_DIR}/PlcDriversConfig.cmake"
                              INSTALL_DESTINATION "${plc_cmake_dir}" PATH_VARS PLC_PLUGIN_DIR)
write_basic_package_version_file("${PROJECT_BINARY_DIR}/PlcDriversConfigVersion.cmake"
                                 COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/PlcDriversConfig.cmake" "${PROJECT_BINARY_DIR}/PlcDriversConfigVersion.cmake"
        DESTINATION "${plc_cmake_dir}" COMPONENT dev)

# pkg-config: paths relative to the file's own folder, right wherever the tree is unpacked.
file(RELATIVE_PATH plc_pc_to_prefix "/p/${plc_lib_dir}/pkgconfig" "/p")
foreach(var PLC_PLUGIN_DIR PLC_INCLUDE_DIR plc_lib_dir)
  if(IS_ABSOLUTE "${${var}}")
    set(plc_pc_${var} "${${var}}")
  else()
    set(plc_pc_${var} "\${prefix}/${${var}}")
  endif()
endforeach()
configure_file(cmake/plc-drivers.pc.in "${PROJECT_BINARY_DIR}/plc-drivers.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/plc-drivers.pc" DESTINATION "${plc_lib_dir}/pkgconfig" COMPONENT dev)
