# Median wall and CPU time of one 2-byte PPI read through the gateway of a plcsim process on loopback.
add_executable(bench_ppi_read ${CMAKE_CURRENT_LIST_DIR}/bench_ppi_read.cpp)
target_link_libraries(bench_ppi_read PRIVATE pellimor_core)
target_compile_definitions(bench_ppi_read PRIVATE PLCSIM_PATH="$<TARGET_FILE:plcsim>")
add_dependencies(bench_ppi_read plcsim)
