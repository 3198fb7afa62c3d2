# Tests of the Voronoi cell generation and the planar UVW (voronoi/), included from
# tests/CMakeLists.txt.
find_package(GTest REQUIRED)
include(GoogleTest)

# A shared library linked like the plug-in, to prove the static Voro++ fits into one, stays
# hidden there and throws from there.
add_library(tsl_voronoi_probe MODULE ${CMAKE_CURRENT_LIST_DIR}/voronoi_module_test.cpp)
set_target_properties(tsl_voronoi_probe PROPERTIES PREFIX "" OUTPUT_NAME voronoi_probe
  LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/test-plugins)
target_compile_definitions(tsl_voronoi_probe PRIVATE TSL_VORONOI_PROBE_MODULE)
target_link_libraries(tsl_voronoi_probe PRIVATE tsl_voronoi_cells)
target_link_options(tsl_voronoi_probe PRIVATE -Wl,--exclude-libs,ALL -Wl,--no-undefined)

add_executable(voronoi_tests
  ${CMAKE_CURRENT_LIST_DIR}/voronoi_cells_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/voronoi_planar_uv_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/voronoi_module_test.cpp
)
target_include_directories(voronoi_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(voronoi_tests PRIVATE tsl_voronoi_cells GTest::gtest_main ${CMAKE_DL_LIBS})
add_dependencies(voronoi_tests tsl_voronoi_probe)
target_compile_definitions(voronoi_tests PRIVATE
  TSL_VORONOI_PROBE="$<TARGET_FILE:tsl_voronoi_probe>")
gtest_discover_tests(voronoi_tests TEST_PREFIX voronoi. DISCOVERY_TIMEOUT 60)
