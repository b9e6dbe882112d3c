# Reads through the plug-in files as a host loads them, against plcsim in a process of its own,
# side by side with a minimal blocking socket client (the floor): median and p90 wall and CPU
# time per read and the ratio. Run it with scripts/bench.sh.
add_executable(bench_host_read
  ${CMAKE_CURRENT_LIST_DIR}/bench_host_read.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReadSamples.h
  ${CMAKE_CURRENT_LIST_DIR}/MinimalClients.h ${CMAKE_CURRENT_LIST_DIR}/MinimalClients.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PlcsimProcess.h ${CMAKE_CURRENT_LIST_DIR}/PlcsimProcess.cpp)
target_link_libraries(bench_host_read PRIVATE drvhost_core Qt5::Core ${CMAKE_DL_LIBS})
target_compile_definitions(bench_host_read PRIVATE
  PLCSIM_PATH="$<TARGET_FILE:plcsim>"
  KORVANE_PATH="$<TARGET_FILE:Korvane>"
  PELLIMOR_PATH="$<TARGET_FILE:Pellimor>")
add_dependencies(bench_host_read plcsim Korvane Pellimor)
