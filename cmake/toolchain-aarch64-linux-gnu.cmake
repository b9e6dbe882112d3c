# Cross build for 64-bit ARM Linux with Debian's cross compiler and multiarch Qt 5
# (qtbase5-dev:arm64, libqt5serialport5-dev:arm64); moc and the other code generators
# are the build machine's (qtbase5-dev-tools). Tests run through qemu-user.
#   cmake -S . -B build-arm64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(PLC_CROSS_TRIPLE aarch64-linux-gnu)

set(CMAKE_C_COMPILER ${PLC_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${PLC_CROSS_TRIPLE}-g++)

# Multiarch: the target's libraries and CMake package files live in /usr/lib/<triple>,
# their headers in /usr/include/<triple>; no separate sysroot.
set(CMAKE_LIBRARY_ARCHITECTURE ${PLC_CROSS_TRIPLE})
set(CMAKE_PREFIX_PATH /usr/lib/${PLC_CROSS_TRIPLE}/cmake)

# add_test runs the test executables through the emulator. "-L /" points the emulator at the
# multiarch root: /lib/ld-linux-aarch64.so.1 (from libc6:arm64) and the target's libraries
# in /usr/lib/aarch64-linux-gnu, found through the loader's cache.
find_program(PLC_QEMU qemu-aarch64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PLC_QEMU} -L /)
