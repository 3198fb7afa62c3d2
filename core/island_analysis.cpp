#include "core/island_analysis.h"

#include <string>

#include "core/mesh_arrays.h"
#include "geom/error.h"

namespace tsl {

bool allIslandsClosed(const geom::Polyhedron& mesh) {
  for (bool closed : mesh.manifold_is_closed()) {
    if (!closed) return false;
  }
  return true;
}

std::unique_ptr<geom::Polyhedron> solidInput(std::span<const Float3> points,
                                             std::span<const std::int32_t> description,
                                             const SolidInputTexts& texts, const Logger& log) {
  std::unique_ptr<geom::Polyhedron> mesh;
  try {
    mesh = buildWorkingMesh(points, description);
  } catch (const geom::Error& e) {
    log(Severity::Error, texts.invalidMesh + std::string(e.what()));
    return nullptr;
  }
  if (!allFinite(points)) {
    log(Severity::Warning, texts.nonFinite);
    return nullptr;
  }
  if (!allIslandsClosed(*mesh)) {
    log(Severity::Warning, texts.open);
    return nullptr;
  }
  return mesh;
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
