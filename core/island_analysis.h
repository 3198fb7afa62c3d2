// Poly islands of a mesh as the kernel reports them, and the mesh-count log lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "core/log.h"
#include "core/topo_store.h"
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

// What a node that cuts a solid says when its input is not one.
struct SolidInputTexts {
  const char* invalidMesh;  // followed by the kernel's detail, at error severity
  const char* nonFinite;    // at warning severity
  const char* open;         // at warning severity
};

// The working mesh of points and description when it is a solid to cut: every index valid,
// every point finite (one that is not would make the mesh box, and everything placed in it,
// meaningless) and every island closed. Otherwise logs the first of texts that applies and
// returns nothing.
std::unique_ptr<geom::Polyhedron> solidInput(std::span<const Float3> points,
                                             std::span<const std::int32_t> description,
                                             const SolidInputTexts& texts, const Logger& log);

// "Total num of points:", "Total num of faces:", "Total num of PolyIslands:", each followed
// directly by the count, at information severity.
void logMeshCounts(const geom::Polyhedron& mesh, const Logger& log);

}  // namespace tsl
