// Real meshes from libcgal-demo's data, extracted into the build tree at configure time.
#pragma once

#include <string>

#include "support/host_mesh_file.h"

namespace tsl::test {

inline std::string demoMeshPath(const std::string& name) {
  return std::string(TSL_TEST_MESH_DIR) + "/data/meshes/" + name;
}

// The mesh as host arrays, every point moved by offset.
inline HostMesh demoMesh(const std::string& name, Float3 offset = {0, 0, 0}) {
  HostMesh m = hostMeshFromFile(demoMeshPath(name));
  for (Float3& p : m.points) p = {p.x + offset.x, p.y + offset.y, p.z + offset.z};
  return m;
}

}  // namespace tsl::test
