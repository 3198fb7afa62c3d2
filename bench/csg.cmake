# geom::Csg and the Boolean node against CGAL's own Boolean functions (prints a table; not run
# by the tests).
add_executable(csg_bench csg_bench.cpp)
target_include_directories(csg_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR})
target_link_libraries(csg_bench PRIVATE tsl_host tsl_geom tsl_meshfiles CGAL::CGAL)
target_compile_definitions(csg_bench PRIVATE
  TSL_CSG_MESH_DIR="${CMAKE_BINARY_DIR}/test-meshes/data/meshes"
  TSL_PLUGIN_DIR="${PROJECT_BINARY_DIR}/plugins")
add_dependencies(csg_bench tsl_boolean_plugin)
