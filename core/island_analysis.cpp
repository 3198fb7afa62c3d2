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
  log(Severity::Info, "Total num of points:" + count(mesh.vertexCount()));
  log(Severity::Info, "Total num of faces:" + count(mesh.faceCount()));
  log(Severity::Info, "Total num of PolyIslands:" + count(mesh.manifoldCount()));
}

}  // namespace tsl
