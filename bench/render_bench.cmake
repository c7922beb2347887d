# render_bench: headless frames of a generated 4096 x 4096 window through the
# OpenGL device at 556 x 390, and the stall a 4096 x 4096 page texture
# arriving from another thread causes.
add_executable(render_bench ${CMAKE_CURRENT_LIST_DIR}/render_bench.cpp)
target_link_libraries(render_bench PRIVATE vp_flight vp_render_gl vp_landscape vp_terrain Qt6::Gui)
