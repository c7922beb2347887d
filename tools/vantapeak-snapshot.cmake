# vantapeak-snapshot: still frames of a terrain folder rendered headless
# through the OpenGL device and the ROAM landscape, written as PNG.
add_executable(vantapeak-snapshot ${CMAKE_CURRENT_LIST_DIR}/vantapeak-snapshot.cpp)
target_link_libraries(vantapeak-snapshot PRIVATE vp_render_gl vp_landscape vp_terrain Qt6::Gui)
install(TARGETS vantapeak-snapshot RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
