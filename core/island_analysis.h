// Poly islands of a mesh as the kernel reports them, and the mesh-count log lines.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/log.h"
#include "geom/polyhedron.h"

namespace tsl {

inline std::int32_t islandCount(const geom::Polyhedron& mesh) {
  return static_cast<std::int32_t>(mesh.manifoldCount());
}

// Requires face < mesh.faceCount().
inline std::int32_t islandOf(const geom::Polyhedron& mesh, std::size_t face) {
  return mesh.manifold_id(face);
}

// True when every island is closed; true for a mesh without islands.
bool allIslandsClosed(const geom::Polyhedron& mesh);

// "Total num of points:", "Total num of faces:", "Total num of PolyIslands:", each followed
// directly by the count, at information severity.
void logMeshCounts(const geom::Polyhedron& mesh, const Logger& log);

}  // namespace tsl
