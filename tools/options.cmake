# vp_options: the command-line option parser shared by every program (the
# tools and the window program); plain C++, no Qt.
add_library(vp_options STATIC ${CMAKE_CURRENT_LIST_DIR}/COptionParser.cpp)
target_link_libraries(vp_options PUBLIC vp_source_root)
