# Tests of the Boolean engine (geom::Csg) and the modules it is made of.
set(TSL_CSG_MESH_DIR ${CMAKE_BINARY_DIR}/test-meshes)
if(EXISTS ${TSL_CGAL_DEMO_ARCHIVE})
  file(ARCHIVE_EXTRACT INPUT ${TSL_CGAL_DEMO_ARCHIVE} DESTINATION ${TSL_CSG_MESH_DIR}
    PATTERNS data/meshes/bunny00.off data/meshes/armadillo.off data/meshes/bear.off
             data/meshes/double-torus-example.off data/meshes/elephant-with-holes.off
             data/meshes/man.off data/meshes/blobby-shuffled.off
             data/meshes/bull.off data/meshes/elk.off data/meshes/cow.off)
endif()

add_executable(csg_tests
  geom_csg_test.cpp
  geom_csg_real_test.cpp
  geom_csg_attributes_test.cpp
  geom_csg_validation_test.cpp
  geom_triangulator_test.cpp
  geom_csg_degenerate_test.cpp
  geom_csg_chain_test.cpp
  geom_convex_hull_test.cpp
  geom_csg_intake_test.cpp
  geom_box_tree_test.cpp
  geom_patch_certificate_test.cpp
  geom_plane_sides_test.cpp
  geom_solid_query_test.cpp
  geom_mesh_sampling_test.cpp
  geom_csg_open_test.cpp
  geom_csg_soup_test.cpp
  geom_csg_result_resolve_test.cpp
)
target_include_directories(csg_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR})
target_link_libraries(csg_tests PRIVATE tsl_geom tsl_meshfiles tsl_solidcheck GTest::gtest_main)
target_compile_definitions(csg_tests PRIVATE TSL_CSG_MESH_DIR="${TSL_CSG_MESH_DIR}/data/meshes")
gtest_discover_tests(csg_tests TEST_PREFIX csg. DISCOVERY_TIMEOUT 60)
