# vp_options: the command-line option parser shared by every program (the
# tools and the window program) and the flight options that the window
# program and the snapshot tool share; plain C++, no Qt.
add_library(vp_options STATIC ${CMAKE_CURRENT_LIST_DIR}/COptionParser.cpp ${CMAKE_CURRENT_LIST_DIR}/CFlightOptions.cpp)
target_link_libraries(vp_options PUBLIC vp_source_root)
