#include "core/island_analysis.h"

#include <string>

namespace tsl {

bool allIslandsClosed(const geom::Polyhedron& mesh) {
  for (bool closed : mesh.manifold_is_closed()) {
    if (!closed) return false;
  }
  return true;
}

void logMeshCounts(const geom::Polyhedron& mesh, const Logger& log) {
  auto count = [](std::size_t n) { return std::to_string(static_cast<std::int32_t>(n)); };
  // All three texts exist before the first is logged: memory running out here leaves none of
  // the lines rather than some.
  const std::string lines[] = {"Total num of points:" + count(mesh.vertexCount()),
                               "Total num of faces:" + count(mesh.faceCount()),
                               "Total num of PolyIslands:" + count(mesh.manifoldCount())};
  for (const std::string& line : lines) log(Severity::Info, line);
}

}  // namespace tsl
