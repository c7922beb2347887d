# vantapeak-tiles: paints the five texture tiles of data/Textures.
add_executable(vantapeak-tiles ${CMAKE_CURRENT_LIST_DIR}/vantapeak-tiles.cpp)
target_link_libraries(vantapeak-tiles PRIVATE vp_terrain vp_options)
install(TARGETS vantapeak-tiles RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
