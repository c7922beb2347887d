# stream_bench: a large tiled GeoTIFF with overviews (made by GDAL upsampling
# of a generated terrain) flown straight from the file in bounded memory.
add_executable(stream_bench ${CMAKE_CURRENT_LIST_DIR}/stream_bench.cpp)
target_link_libraries(stream_bench PRIVATE vp_flight vp_render_gl vp_landscape vp_terrain Qt6::Gui)
