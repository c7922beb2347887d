# The recording's writers for vantapeak-snapshot --record: H.264 video in
# MP4 through FFmpeg's libraries, and folders of numbered PNG frames.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VP_FFMPEG REQUIRED IMPORTED_TARGET libavcodec libavformat libswscale libavutil)
add_library(vp_record STATIC ${CMAKE_CURRENT_LIST_DIR}/CVideoEncoder.cpp ${CMAKE_CURRENT_LIST_DIR}/CPngSequence.cpp)
target_link_libraries(vp_record PUBLIC vp_source_root PkgConfig::VP_FFMPEG Qt6::Gui)
