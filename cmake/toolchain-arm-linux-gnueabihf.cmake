# Cross build for 32-bit ARM Linux (hard-float) with Debian's cross compiler against an armhf
# sysroot (cmake/CrossSysroot.cmake); tests run through qemu-arm.
#   cmake -S . -B build-armhf -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-arm-linux-gnueabihf.cmake \
#         -DPLC_SYSROOT=$PWD/build-sysroot/armhf   (scripts/sysroot.sh armhf $PWD/build-sysroot/armhf)
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(PLC_CROSS_TRIPLE arm-linux-gnueabihf)
set(PLC_QEMU_NAME qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/CrossSysroot.cmake)
