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
