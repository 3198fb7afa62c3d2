#include "combiner/combiner.h"

#include <cmath>
#include <memory>

#include "core/island_analysis.h"
#include "core/mesh_arrays.h"
#include "geom/error.h"

namespace tsl::combiner {
namespace {

constexpr const char* kPrefix = "TSL COMBINER: ";

void publishWhole(const CombinerInput& in, const geom::Polyhedron& mesh,
                  const BroadcastFaceIds& ids, TopoStore& store) {
  store.points.assign(in.points.begin(), in.points.end());
  store.polygons.resize(mesh.cornerCount() + mesh.faceCount());
  store.faceInfo.resize(mesh.faceCount());
  std::size_t k = 0;
  for (std::size_t f = 0; f < mesh.faceCount(); ++f) {
    for (int v : mesh.face(f)) store.polygons[k++] = v;
    store.polygons[k++] = kPolygonEnd;
    store.faceInfo[f] = {islandOf(mesh, f), ids.at(f)};
  }
  if (copyPolicyUvw(in.uvwIsArray, in.uvw.size())) store.uvw.assign(in.uvw.begin(), in.uvw.end());
  writeBounds(store, mesh.aabb());
}

void publishFiltered(const CombinerInput& in, const geom::Polyhedron& mesh,
                     const BroadcastFaceIds& ids, TopoStore& store) {
  std::vector<std::size_t> selected;
  bool uvwComplete = in.uvwIsArray;
  std::size_t corner = 0;
  for (std::size_t f = 0; f < mesh.faceCount(); ++f) {
    const std::size_t n = mesh.face(f).size();
    if (ids.at(f) == in.filter) {
      selected.push_back(f);
      if (uvwComplete && corner + n <= in.uvw.size()) {
        store.uvw.insert(store.uvw.end(), in.uvw.begin() + static_cast<std::ptrdiff_t>(corner),
                         in.uvw.begin() + static_cast<std::ptrdiff_t>(corner + n));
      } else {
        // A UVW array too short for the selected corners gives no UVW at all rather than
        // values that belong to no corner.
        uvwComplete = false;
      }
      store.faceInfo.push_back({0, in.filter});
    }
    corner += n;
  }
  if (!uvwComplete) store.uvw.clear();
  const geom::Polyhedron part = mesh.subMesh(selected);
  writeMesh(store, part);
  writeBounds(store, part.aabb());
}

}  // namespace

Outcome combine(const CombinerInput& in, TopoStore& store, const Logger& log) {
  clearTopoStore(store);
  if (!allFinite(in.points)) {
    log(Severity::Warning,
        std::string(kPrefix) + "Input Geo has non-finite point coordinates , bypassed");
    return Outcome::Empty;
  }
  std::unique_ptr<geom::Polyhedron> mesh;
  try {
    mesh = buildWorkingMesh(in.points, in.description);
  } catch (const geom::Error& e) {
    log(Severity::Error, std::string(kPrefix) + "Invalid input mesh, " + e.what());
    return Outcome::Empty;
  }
  const BroadcastFaceIds ids(in.faceIds);
  if (in.filter == kNoFilter) {
    publishWhole(in, *mesh, ids, store);
  } else {
    publishFiltered(in, *mesh, ids, store);
  }
  // Logged once the store is complete, so that memory running out while it is written leaves
  // no count lines behind.
  logMeshCounts(*mesh, log);
  return Outcome::Published;
}

}  // namespace tsl::combiner
