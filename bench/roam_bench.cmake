# roam_bench: Initialise and per-frame Update of the ROAM landscape over a
# generated 4096 x 4096 window during a scripted flight, against a baseline
# that re-sorts both queues completely after every step.
add_executable(roam_bench
  ${CMAKE_CURRENT_SOURCE_DIR}/roam_bench.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/roam_bench_baseline.cpp)
target_link_libraries(roam_bench PRIVATE vp_landscape vp_test_support)
