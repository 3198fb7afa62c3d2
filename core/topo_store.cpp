#include "core/topo_store.h"

#include <cstring>

#include "xsi_icenodecontext.h"

namespace tsl {

TopoStore& moduleStore() {
  static TopoStore store;
  return store;
}

void clearTopoStore(TopoStore& store) {
  store.polygons.clear();
  store.points.clear();
  store.uvw.clear();
  store.faceInfo.clear();
  store.bounds.clear();
}

void writeMesh(TopoStore& store, const geom::Polyhedron& mesh) {
  const auto& verts = mesh.vertices();
  store.points.resize(verts.size());
  for (std::size_t i = 0; i < verts.size(); ++i) {
    store.points[i] = {static_cast<float>(verts[i].x), static_cast<float>(verts[i].y),
                       static_cast<float>(verts[i].z)};
  }
  store.polygons.resize(mesh.cornerCount() + mesh.faceCount());
  std::size_t k = 0;
  for (std::size_t f = 0; f < mesh.faceCount(); ++f) {
    for (int v : mesh.face(f)) store.polygons[k++] = v;
    store.polygons[k++] = -2;
  }
}

void writeBounds(TopoStore& store, const geom::AABB& box) {
  const geom::Vec3 lo = box.pos - box.extent;
  const geom::Vec3 hi = box.pos + box.extent;
  auto toFloat = [](const geom::Vec3& v) {
    return Float3{static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
  };
  store.bounds.resize(3);
  store.bounds[0] = toFloat(lo);
  store.bounds[1] = toFloat(box.pos);
  store.bounds[2] = toFloat(hi);
}

VastaTopoRecord recordOf(const TopoStore& store) {
  return {&store.points, &store.polygons, &store.uvw, &store.faceInfo, &store.bounds};
}

bool publishRecord(XSI::ICENodeContext& ctx, XSI::CDataArrayRef& output, const TopoStore& store) {
  void* buffer = ctx.ResizeCustomTypeData(output, 0, sizeof(VastaTopoRecord));
  if (buffer == nullptr) return false;
  const VastaTopoRecord record = recordOf(store);
  std::memcpy(buffer, &record, sizeof record);
  return true;
}

void publishEmpty(XSI::ICENodeContext& ctx, XSI::CDataArrayRef& output) {
  ctx.ResizeCustomTypeData(output, 0, 1);
  ctx.SetCustomTypeData(output, 0, nullptr, 0);
}

}  // namespace tsl
