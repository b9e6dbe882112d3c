# Read by cpack before it packages a cross build: dpkg-shlibdeps takes the target architecture
# from DEB_HOST_ARCH, and then reads the target's objdump and the target's shlibs files.
if(CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  set(ENV{DEB_HOST_ARCH} "${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}")
endif()
