# The part of a cross toolchain file that both ARM targets share: Debian's cross compiler for
# PLC_CROSS_TRIPLE, the target's libraries and Qt 5 from a sysroot (scripts/sysroot.sh makes
# it), the build machine's code generators, and qemu-user to run the tests.
#   cmake ... -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-<triple>.cmake -DPLC_SYSROOT=/path/to/sysroot
set(CMAKE_C_COMPILER ${PLC_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${PLC_CROSS_TRIPLE}-g++)

# try_compile projects read this file again: they need the sysroot too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PLC_SYSROOT)
if(NOT PLC_SYSROOT AND DEFINED ENV{PLC_SYSROOT})
  # Cached, so that a re-run of CMake started by the build finds it without the environment.
  set(PLC_SYSROOT "$ENV{PLC_SYSROOT}" CACHE PATH "The target's sysroot")
endif()
if(NOT PLC_SYSROOT OR NOT IS_ABSOLUTE "${PLC_SYSROOT}" OR NOT EXISTS "${PLC_SYSROOT}/usr/lib/${PLC_CROSS_TRIPLE}")
  message(FATAL_ERROR "PLC_SYSROOT must name a ${PLC_CROSS_TRIPLE} sysroot by its absolute path "
                      "(scripts/sysroot.sh makes one; scripts/cross-test.sh passes it)")
endif()
set(CMAKE_SYSROOT "${PLC_SYSROOT}")
set(CMAKE_LIBRARY_ARCHITECTURE ${PLC_CROSS_TRIPLE})

# Libraries, headers and CMake packages (Qt's) come from the sysroot only; programs from the
# build machine.
set(CMAKE_FIND_ROOT_PATH "${PLC_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Qt's config files in the sysroot would name the target's moc and rcc, which cannot run here.
# They define Qt5::moc and Qt5::rcc only where no such target exists yet, so the build
# machine's (qtbase5-dev-tools) are defined first.
foreach(tool moc rcc)
  if(NOT TARGET Qt5::${tool})
    find_program(PLC_HOST_QT_${tool} ${tool} PATHS /usr/lib/qt5/bin NO_DEFAULT_PATH REQUIRED)
    add_executable(Qt5::${tool} IMPORTED)
    set_target_properties(Qt5::${tool} PROPERTIES IMPORTED_LOCATION "${PLC_HOST_QT_${tool}}")
  endif()
endforeach()

# add_test runs the test executables through the emulator, whose loader and libraries come
# from the sysroot.
find_program(PLC_QEMU ${PLC_QEMU_NAME} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PLC_QEMU} -L "${PLC_SYSROOT}")
