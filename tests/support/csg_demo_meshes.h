// Real meshes from libcgal-demo's data for the engine's tests, extracted into the build tree at
// configure time (TSL_CSG_MESH_DIR).
#pragma once

#include <string>

#include "geom/mesh_files.h"
#include "support/csg_meshes.h"

namespace tsl::csgtest {

inline geom::Polyhedron loadDemo(const std::string& name) {
  const geom::MeshFile f = geom::readMeshFile(std::string(TSL_CSG_MESH_DIR) + "/" + name);
  return fromFaces(f.points, f.polygons);
}

}  // namespace tsl::csgtest
