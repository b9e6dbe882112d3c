# Median wall and CPU time of one S7 read of 2 and of 200 bytes against the simulator on loopback.
add_executable(bench_s7_read ${CMAKE_CURRENT_LIST_DIR}/bench_s7_read.cpp ${CMAKE_CURRENT_SOURCE_DIR}/../tests/support/SimulatorThreads.h)
target_include_directories(bench_s7_read PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/../tests/support)
target_link_libraries(bench_s7_read PRIVATE korvane_core plcsim_core)
