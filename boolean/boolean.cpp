#include "boolean/boolean.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "core/island_analysis.h"
#include "core/mesh_arrays.h"
#include "core/uvw_attr.h"
#include "geom/csg.h"
#include "geom/csg_attributes.h"
#include "geom/error.h"
#include "geom/rescale.h"
#include "geom/triangulator.h"

namespace tsl::boolean {
namespace {

using geom::Csg;

std::int32_t idOf(const MeshInput& m, std::size_t face) {
  const std::size_t k = face * m.idStride;
  return k < m.ids.size() ? m.ids[k] : kPolygonEnd;
}

void attachValues(const MeshInput& m, const geom::Polyhedron& mesh,
                  geom::FaceAttr<std::int32_t>& ids, geom::FaceVertexAttr<UvwAttr>& uvw) {
  // Set at once: one at a time, the look-ups of the mesh's table cost as much as the rest of
  // the node around the engine.
  std::vector<std::int32_t> faceIds;
  for (std::size_t f = 0; f < mesh.faceCount() && f * m.idStride < m.ids.size(); ++f) {
    faceIds.push_back(m.ids[f * m.idStride]);
  }
  if (!faceIds.empty()) ids.setAttributes(mesh, faceIds);
  if (!m.uvwIsArray || m.uvw.size() < 2) return;
  std::vector<UvwAttr> corners(std::min(m.uvw.size(), mesh.cornerCount()));
  for (std::size_t k = 0; k < corners.size(); ++k) corners[k] = UvwAttr::of(m.uvw[k]);
  uvw.setAttributes(mesh, corners);
}

Csg::OP operationOf(std::int32_t function) {
  switch (function) {
    case 1:
      return Csg::INTERSECTION;
    case 2:
      return Csg::A_MINUS_B;
    case 3:
      return Csg::B_MINUS_A;
    case 4:
      return Csg::SYMMETRIC_DIFFERENCE;
    default:
      return Csg::UNION;
  }
}

// Mesh A exactly as it came in, for a consumer that must get something when the Boolean fails.
void passThrough(const BooleanInput& in, const geom::Polyhedron& a, TopoStore& store) {
  store.points.assign(in.a.points.begin(), in.a.points.end());
  // Indices after the last separator belong to no face and were never range-checked, so they
  // are not handed on.
  const auto lastEnd = std::find(in.a.description.rbegin(), in.a.description.rend(), kPolygonEnd);
  store.polygons.assign(in.a.description.begin(), lastEnd.base());
  if (in.canonicalize) return;
  if (in.a.uvwIsArray) {
    store.uvw.assign(in.a.uvw.begin(), in.a.uvw.end());
  } else {
    store.uvw.assign(1, Float3{0, 0, 0});
  }
  store.faceInfo.resize(a.faceCount());
  for (std::size_t f = 0; f < a.faceCount(); ++f)
    store.faceInfo[f] = {islandOf(a, f), idOf(in.a, f)};
}

void writeResult(const BooleanInput& in, const geom::Polyhedron& r,
                 const geom::FaceAttr<std::int32_t>& ids, const geom::FaceVertexAttr<UvwAttr>& uvw,
                 TopoStore& store) {
  writeMesh(store, r);
  if (!in.canonicalize && (in.a.uvwIsArray || in.b.uvwIsArray)) {
    store.uvw.resize(r.cornerCount());
    std::size_t k = 0;
    for (std::size_t f = 0; f < r.faceCount(); ++f) {
      for (std::size_t j = 0; j < r.face(f).size(); ++j) {
        store.uvw[k++] = uvw.getAttribute(r, f, j, UvwAttr{}).toFloat3();
      }
    }
  }
  if (!in.canonicalize) {
    store.faceInfo.resize(r.faceCount());
    for (std::size_t f = 0; f < r.faceCount(); ++f) {
      store.faceInfo[f] = {islandOf(r, f), ids.getAttribute(r, f, kPolygonEnd)};
    }
  }
}

}  // namespace

const char* aboutText() {
  return "ICE Boolean plugin v1.4. Based on Carve CSG library. Visit /github.com/folded/carve/ "
         "for detail info.";
}

Outcome combine(const BooleanInput& in, TopoStore& store, const Logger& log) {
  clearTopoStore(store);
  std::unique_ptr<geom::Polyhedron> a, b;
  try {
    a = buildWorkingMesh(in.a.points, in.a.description);
  } catch (const geom::Error& e) {
    log(Severity::Error, std::string("ICE BOOLEAN: Invalid A input, ") + e.what());
    return Outcome::Empty;
  }
  try {
    b = buildWorkingMesh(in.b.points, in.b.description);
  } catch (const geom::Error& e) {
    log(Severity::Error, std::string("ICE BOOLEAN: Invalid B input, ") + e.what());
    return Outcome::Empty;
  }

  geom::FaceAttr<std::int32_t> ids;
  geom::FaceVertexAttr<UvwAttr> uvw;
  if (!in.canonicalize) {
    attachValues(in.a, *a, ids, uvw);
    attachValues(in.b, *b, ids, uvw);
  }

  const geom::AABB ba = a->aabb(), bb = b->aabb();
  const geom::Vec3 hiA = ba.pos + ba.extent, loA = ba.pos - ba.extent;
  const geom::Vec3 hiB = bb.pos + bb.extent, loB = bb.pos - bb.extent;
  const geom::Rescale scale(std::min(loA.x, loB.x), std::min(loA.y, loB.y), std::min(loA.z, loB.z),
                            std::max(hiA.x, hiB.x), std::max(hiA.y, hiB.y), std::max(hiA.z, hiB.z));
  a->moveSimilar([&](const geom::Vec3& v) { return scale.fwd(v); });
  b->moveSimilar([&](const geom::Vec3& v) { return scale.fwd(v); });

  Csg csg;
  csg.publishAsFloat(scale);
  geom::Triangulator triangulator;
  if (in.triangulate) csg.attach(triangulator);
  if (!in.canonicalize) {
    csg.attach(ids);
    // Corner values cost the engine weights at every corner of the cut: only where the result
    // carries them.
    if (in.a.uvwIsArray || in.b.uvwIsArray) csg.attach(uvw);
  }
  std::unique_ptr<geom::Polyhedron> result;
  try {
    result = csg.compute(*a, *b, operationOf(in.function),
                         in.classification != 0 ? Csg::CLASSIFY_EDGE : Csg::CLASSIFY_NORMAL);
  } catch (const geom::Error& e) {
    // A is in the store before the warning says so: memory running out on the way leaves only
    // the out-of-memory line.
    passThrough(in, *a, store);
    const std::string reason = std::string("ICE BOOLEAN: ") + e.what();
    log(Severity::Warning, kFallbackWarning);
    log(Severity::Verbose, reason);
    return Outcome::PassThrough;
  }
  result->moveSimilar([&](const geom::Vec3& v) { return scale.rev(v); });
  if (in.canonicalize) result->canonicalize();

  writeResult(in, *result, ids, uvw, store);
  writeBounds(store, result->aabb());
  logMeshCounts(*result, log);
  return Outcome::Published;
}

}  // namespace tsl::boolean
