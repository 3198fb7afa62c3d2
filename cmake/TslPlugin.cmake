# tsl_add_plugin(<target> NODE <node name> SOURCES <files...>)
#
# Builds one host plug-in: a shared library named exactly like the node (no "lib" prefix) that
# exports XSILoadPlugin, XSIUnloadPlugin and the node's callbacks and nothing else. Everything
# linked in statically (core, geom, CGAL's and the standard library's template instances) stays
# hidden, so two plug-ins in one host process never resolve each other's symbols.
function(tsl_add_plugin target)
  cmake_parse_arguments(ARG "" "NODE" "SOURCES;LIBS" ${ARGN})
  add_library(${target} MODULE ${ARG_SOURCES})
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${ARG_NODE}
    LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/plugins)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}.exports.map)
  file(WRITE ${script}
    "{\n  global:\n    XSILoadPlugin;\n    XSIUnloadPlugin;\n    ${ARG_NODE}_*;\n  local:\n    *;\n};\n")
  target_link_libraries(${target} PRIVATE tsl_core ${ARG_LIBS})
  target_link_options(${target} PRIVATE -Wl,--version-script=${script} -Wl,--exclude-libs,ALL
    -Wl,--no-undefined)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
endfunction()
