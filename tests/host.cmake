# Tests of the host SDK stand-in, with the test plug-ins they load. Included from
# tests/CMakeLists.txt (GTest already found there; found again here so this file stands alone).
find_package(GTest REQUIRED)
include(GoogleTest)

# The export-list check, for the host tests and for every real plug-in's test.
add_library(tsl_test_exports STATIC ${CMAKE_CURRENT_LIST_DIR}/support/exports.cpp)
target_include_directories(tsl_test_exports PUBLIC ${CMAKE_CURRENT_LIST_DIR})

# tsl_host_fixture(<target> <output name> <exported pattern> <sources...>)
# A test plug-in built the way tsl_add_plugin builds the real ones (hidden visibility, version
# script, no undefined symbols), but linking only the SDK face.
function(tsl_host_fixture target name pattern)
  add_library(${target} MODULE ${ARGN})
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${name}
    LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/test-plugins)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}.exports.map)
  file(WRITE ${script} "{\n  global:\n    ${pattern};\n  local:\n    *;\n};\n")
  target_link_libraries(${target} PRIVATE tsl_xsi)
  target_link_options(${target} PRIVATE -Wl,--version-script=${script} -Wl,--exclude-libs,ALL
    -Wl,--no-undefined)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
endfunction()

set(_fixtures ${CMAKE_CURRENT_LIST_DIR}/fixtures)
tsl_host_fixture(tsl_fixture_plugin TSL_Fixture "XSILoadPlugin;\n    XSIUnloadPlugin;\n    TSL_Fixture_*"
  ${_fixtures}/fixture_plugin.cpp)
tsl_host_fixture(tsl_broken_plugin TSL_Broken "XSILoadPlugin;\n    TSL_Broken_*"
  ${_fixtures}/broken_plugin.cpp)
tsl_host_fixture(tsl_not_a_plugin not_a_plugin "tsl_not_a_plugin"
  ${_fixtures}/not_a_plugin.cpp)

add_executable(host_tests
  ${CMAKE_CURRENT_LIST_DIR}/host_sdk_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/host_face_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/host_exports_test.cpp
)
find_package(Threads REQUIRED)
target_link_libraries(host_tests PRIVATE tsl_host tsl_test_exports Threads::Threads GTest::gtest_main)
add_dependencies(host_tests tsl_fixture_plugin tsl_broken_plugin tsl_not_a_plugin)
target_compile_definitions(host_tests PRIVATE
  TSL_FIXTURE_PLUGIN="$<TARGET_FILE:tsl_fixture_plugin>"
  TSL_BROKEN_PLUGIN="$<TARGET_FILE:tsl_broken_plugin>"
  TSL_NOT_A_PLUGIN="$<TARGET_FILE:tsl_not_a_plugin>"
  TSL_XSI_LIBRARY="$<TARGET_FILE:tsl_xsi>")
gtest_discover_tests(host_tests TEST_PREFIX host. DISCOVERY_TIMEOUT 60)
