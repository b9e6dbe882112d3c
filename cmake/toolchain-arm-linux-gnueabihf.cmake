# Cross build for 32-bit ARM Linux (hard-float) with Debian's cross compiler and multiarch Qt 5
# (qtbase5-dev:armhf, libqt5serialport5-dev:armhf); moc and the other code generators
# are the build machine's (qtbase5-dev-tools). Tests run through qemu-user.
#   cmake -S . -B build-armhf -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-arm-linux-gnueabihf.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(PLC_CROSS_TRIPLE arm-linux-gnueabihf)

set(CMAKE_C_COMPILER ${PLC_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${PLC_CROSS_TRIPLE}-g++)

# Multiarch: the target's libraries and CMake package files live in /usr/lib/<triple>,
# their headers in /usr/include/<triple>; no separate sysroot.
set(CMAKE_LIBRARY_ARCHITECTURE ${PLC_CROSS_TRIPLE})
set(CMAKE_PREFIX_PATH /usr/lib/${PLC_CROSS_TRIPLE}/cmake)

# add_test runs the test executables through the emulator. "-L /" points the emulator at the
# multiarch root: /lib/ld-linux-armhf.so.3 (from libc6:armhf) and the target's libraries
# in /usr/lib/arm-linux-gnueabihf, found through the loader's cache.
find_program(PLC_QEMU qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PLC_QEMU} -L /)
