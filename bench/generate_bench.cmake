# generate_bench: the full default terrain generation, timed.
add_executable(generate_bench ${CMAKE_CURRENT_LIST_DIR}/generate_bench.cpp)
target_link_libraries(generate_bench PRIVATE vp_terrain vp_options)
