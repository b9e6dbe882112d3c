# Median wall and CPU time of one 4000-byte S7 read against a plcsim process granting PDU 240 and 960.
add_executable(bench_s7_large ${CMAKE_CURRENT_LIST_DIR}/bench_s7_large.cpp)
target_link_libraries(bench_s7_large PRIVATE korvane_core)
target_compile_definitions(bench_s7_large PRIVATE PLCSIM_PATH="$<TARGET_FILE:plcsim>")
add_dependencies(bench_s7_large plcsim)
