# Cross build for 64-bit ARM Linux with Debian's cross compiler against an arm64 sysroot
# (cmake/CrossSysroot.cmake); tests run through qemu-aarch64.
#   cmake -S . -B build-arm64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64-linux-gnu.cmake \
#         -DPLC_SYSROOT=$PWD/build-sysroot/arm64   (scripts/sysroot.sh arm64 $PWD/build-sysroot/arm64)
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(PLC_CROSS_TRIPLE aarch64-linux-gnu)
set(PLC_QEMU_NAME qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/CrossSysroot.cmake)
