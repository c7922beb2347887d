# contour_bench: how much the painted texture of a 16-bit terrain marks the
# 8-bit level boundaries, for the soft and the plain painting.
add_executable(contour_bench ${CMAKE_CURRENT_LIST_DIR}/contour_bench.cpp)
target_link_libraries(contour_bench PRIVATE vp_terrain vp_options)
