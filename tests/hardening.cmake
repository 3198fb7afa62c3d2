# Hardening tests: the bad-input matrix and the memory checks, end to end through the host face
# on the real plug-ins. Included from tests/CMakeLists.txt (GTest is found there; found again
# here so this file stands alone).
find_package(GTest REQUIRED)
include(GoogleTest)

add_executable(hardening_tests
  ${CMAKE_CURRENT_LIST_DIR}/bad_input_matrix_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/memory_flat_test.cpp
)
target_include_directories(hardening_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR})
target_link_libraries(hardening_tests PRIVATE tsl_host tsl_meshfiles tsl_geom GTest::gtest_main)
add_dependencies(hardening_tests tsl_boolean_plugin tsl_combiner_plugin tsl_continuous_plugin
  tsl_voronoi_plugin)
target_compile_definitions(hardening_tests PRIVATE TSL_PLUGIN_DIR="${PROJECT_BINARY_DIR}/plugins"
  TSL_TEST_MESH_DIR="${TSL_TEST_MESH_DIR}")
# The two-million-triangle cells and the 1,000-evaluation runs take a while, under the
# sanitizers much longer; each is its own test, so ctest runs them beside the others.
gtest_discover_tests(hardening_tests TEST_PREFIX hardening. DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 1200)
