# Read by cpack before it packages a cross build: dpkg-shlibdeps would look for the target's
# libraries on the build machine, which has none. Each package's Depends come instead from the
# libraries its binaries need and the sysroot's shlibs files (scripts/sysroot-depends.sh).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
foreach(component KORVANE PELLIMOR TOOLS)
  execute_process(COMMAND "${CPACK_PLC_DEPENDS_SCRIPT}" "${CPACK_PLC_SYSROOT}" ${CPACK_PLC_${component}_FILES}
                  OUTPUT_VARIABLE plc_depends OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE plc_status)
  if(NOT plc_status EQUAL 0 OR NOT plc_depends)
    message(FATAL_ERROR "No Depends for ${component} from the sysroot ${CPACK_PLC_SYSROOT}")
  endif()
  set(CPACK_DEBIAN_${component}_PACKAGE_DEPENDS "${plc_depends}")
endforeach()
