// Real meshes from libcgal-demo's data, extracted into the build tree at configure time.
#pragma once

#include <string>

#include "geom/mesh_files.h"
#include "support/mesh_builders.h"

namespace tsl::test {

inline std::string demoMeshPath(const std::string& name) {
  return std::string(TSL_TEST_MESH_DIR) + "/data/meshes/" + name;
}

// The mesh as host arrays, every point moved by offset.
inline HostMesh demoMesh(const std::string& name, Float3 offset = {0, 0, 0}) {
  const geom::MeshFile file = geom::readMeshFile(demoMeshPath(name));
  HostMesh m;
  m.points.reserve(file.points.size());
  for (const auto& p : file.points) {
    m.points.push_back({static_cast<float>(p.x) + offset.x, static_cast<float>(p.y) + offset.y,
                        static_cast<float>(p.z) + offset.z});
  }
  for (const auto& poly : file.polygons) {
    m.description.insert(m.description.end(), poly.begin(), poly.end());
    m.description.push_back(-2);
  }
  return m;
}

}  // namespace tsl::test
