# vantapeak-snapshot: still frames of a terrain folder rendered headless
# through the OpenGL device and the ROAM landscape, written as PNG, and
# recorded flights written as MP4 video or numbered PNG frames.
add_executable(vantapeak-snapshot ${CMAKE_CURRENT_LIST_DIR}/vantapeak-snapshot.cpp)
target_link_libraries(vantapeak-snapshot PRIVATE vp_flight vp_record vp_render_gl vp_landscape vp_terrain vp_options Qt6::Gui)
install(TARGETS vantapeak-snapshot RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
