# Debian packages with CPack: in a configured build tree, `cpack` writes one package per
# component into packages/ for the tree's target architecture (a cross build's packages are
# for the board). scripts/package.sh runs it for the build machine, arm64 and armhf.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME plc-driver)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "PLC driver developers <plc-drivers@example.org>" CACHE STRING
    "Maintainer named in the Debian packages")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX packages)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Dependencies come from the binaries (dpkg-shlibdeps): the libraries each one links, at the
# versions its symbols need. Binaries are stripped; nothing ships debug info.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

if(CMAKE_CROSSCOMPILING)
  execute_process(COMMAND dpkg-architecture -t "${CMAKE_LIBRARY_ARCHITECTURE}" -qDEB_HOST_ARCH
                  OUTPUT_VARIABLE plc_deb_arch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT plc_deb_arch)
    message(WARNING "No Debian architecture for ${CMAKE_LIBRARY_ARCHITECTURE}: cpack will not work here")
  endif()
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "${plc_deb_arch}")
  # dpkg-shlibdeps knows only the build machine's libraries: a cross build's dependencies come
  # from the sysroot's shlibs files instead (cmake/PackagingCross.cmake, read by cpack).
  set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_CURRENT_LIST_DIR}/PackagingCross.cmake")
  set(CPACK_PLC_SYSROOT "${CMAKE_SYSROOT}")
  set(CPACK_PLC_DEPENDS_SCRIPT "${PROJECT_SOURCE_DIR}/scripts/sysroot-depends.sh")
  set(CPACK_PLC_KORVANE_FILES "${PROJECT_BINARY_DIR}/s7/libKorvane.so.1")
  set(CPACK_PLC_PELLIMOR_FILES "${PROJECT_BINARY_DIR}/ppi/libPellimor.so.1")
  set(CPACK_PLC_TOOLS_FILES "${PROJECT_BINARY_DIR}/tools/drvhost/drvhost;${PROJECT_BINARY_DIR}/tools/plcsim/plcsim")
endif()

set(CPACK_COMPONENTS_ALL korvane pellimor tools dev)

set(CPACK_DEBIAN_KORVANE_PACKAGE_NAME plc-driver-korvane)
set(CPACK_DEBIAN_KORVANE_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_KORVANE_DESCRIPTION "S7 driver plug-in for HMI/SCADA hosts (ISO-on-TCP)
libKorvane.so.1 lets a host runtime read and write the variables of one S7 PLC
over S7 communication on ISO-on-TCP (TCP port 102), addressed as I0.3, M10,
DB5.DBW20 and so on. The host loads it from its plug-in folder and calls
getSharedLibrary; drvhost (package plc-driver-tools) checks the link.")

set(CPACK_DEBIAN_PELLIMOR_PACKAGE_NAME plc-driver-pellimor)
set(CPACK_DEBIAN_PELLIMOR_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PELLIMOR_DESCRIPTION "PPI driver plug-in for HMI/SCADA hosts (serial line or TCP gateway)
libPellimor.so.1 lets a host runtime read and write the variables of one PPI
station over a serial line or a transparent serial-to-Ethernet gateway,
addressed as V100, M10.7, I0.3 and so on. The host loads it from its plug-in
folder and calls getSharedLibrary; drvhost (package plc-driver-tools) checks
the link.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME plc-driver-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SUGGESTS "plc-driver-korvane, plc-driver-pellimor")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "Commissioning host and PLC simulator for the PLC driver plug-ins
drvhost loads a driver plug-in as a host runtime does, connects to a PLC and
runs reads and writes, once or many times with a summary of result codes
and call times (drvhost --repeat), so a PLC link can be checked from the
board before the HMI runs. plcsim simulates an S7 PLC and a PPI station on
loopback for trying the plug-ins without a PLC.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME plc-driver-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The value library is built for one architecture: one -dev package per architecture.
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS qtbase5-dev)
set(CPACK_DEBIAN_DEV_DESCRIPTION "Host interface of the PLC driver plug-ins
CDriveBaseClass.h and CLabelVariable.h, the interface a host runtime drives a
driver plug-in through and the value that crosses it, with the value's
library, built as the plug-ins build it, for authors of hosts that load
plc-driver-korvane or plc-driver-pellimor. pkg-config (plc-drivers) and
CMake (find_package(PlcDrivers), target PlcDrivers::HostInterface) give the
compiler and linker flags and the folder of the installed plug-ins.")

include(CPack)
