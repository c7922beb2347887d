# bitmap_bench [file.bmp]: load and save times of an 8193 x 8193 24-bit bitmap.
add_executable(bitmap_bench ${CMAKE_CURRENT_LIST_DIR}/bitmap_bench.cpp)
target_link_libraries(bitmap_bench PRIVATE vp_terrain)
