# vantapeak-terrain: generates the heightmap and texture files of a terrain.
add_executable(vantapeak-terrain ${CMAKE_CURRENT_LIST_DIR}/vantapeak-terrain.cpp)
target_link_libraries(vantapeak-terrain PRIVATE vp_terrain vp_options)
install(TARGETS vantapeak-terrain RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
