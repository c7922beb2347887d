# import_bench: an 8193 x 8193 16-bit GeoTIFF imported, all files written.
add_executable(import_bench ${CMAKE_CURRENT_LIST_DIR}/import_bench.cpp)
target_link_libraries(import_bench PRIVATE vp_terrain vp_options)
