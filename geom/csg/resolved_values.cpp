#include "geom/csg/resolved_values.h"

#include <algorithm>
#include <span>

#include "geom/csg/assemble.h"

namespace geom::csg {

ResolvedOperand withoutIslands(const TriangulatedOperand& op, const std::vector<std::uint8_t>& drop,
                               const ResolvedOperand* from) {
  const Polyhedron& mesh = *op.mesh;
  std::vector<std::uint8_t> keepFace(mesh.faceCount(), 1);
  for (std::size_t t = 0; t < op.triCount; ++t) {
    if (drop[op.triIsland[t]]) keepFace[op.triFace[t]] = 0;
  }
  std::vector<std::size_t> faces;
  ResolvedOperand r;
  for (std::size_t f = 0; f < mesh.faceCount(); ++f) {
    if (!keepFace[f]) continue;
    faces.push_back(f);
    r.sourceFace.push_back(from ? from->sourceFace[f] : static_cast<std::uint32_t>(f));
  }
  r.mesh = mesh.subMesh(faces);
  if (!op.sameVertex.empty()) {
    // The sub-mesh numbers the vertices in order of first use; a copy whose vertex went with a
    // dropped island stands for itself.
    std::vector<int> number(mesh.vertexCount(), -1);
    int next = 0;
    for (const std::size_t f : faces) {
      for (const int v : mesh.face(f)) {
        if (number[v] < 0) number[v] = next++;
      }
    }
    r.sameVertex.resize(static_cast<std::size_t>(next));
    for (std::size_t v = 0; v < number.size(); ++v) {
      if (number[v] < 0) continue;
      const int same = number[op.sameVertex[v]];
      r.sameVertex[number[v]] = same >= 0 ? same : number[v];
    }
  }
  return r;
}

void carryValues(const Polyhedron& given, const ResolvedOperand& r,
                 const std::vector<CsgAttribute*>& attributes) {
  if (attributes.empty()) return;
  const Polyhedron& mesh = r.mesh;
  std::vector<FaceOrigin> origins(mesh.faceCount());
  std::vector<CornerSource> corners;
  std::vector<CornerWeight> weights;
  std::vector<Vec3> polygon;
  std::vector<double> w;
  for (std::size_t f = 0; f < mesh.faceCount(); ++f) {
    const std::uint32_t src = r.sourceFace[f];
    origins[f] = {0, false, src};
    const std::span<const int> face = given.face(src);
    polygon.clear();
    for (int v : face) polygon.push_back(given.vertices()[v]);
    for (int v : mesh.face(f)) {
      const Vec3& p = mesh.vertices()[v];
      const auto at = std::find(polygon.begin(), polygon.end(), p);
      if (at != polygon.end()) {
        corners.push_back({static_cast<std::uint32_t>(at - polygon.begin()), 0});
        continue;
      }
      corners.push_back(blendedCorner(polygon, p, weights, w));
    }
  }
  CsgResultView view;
  view.operands[0] = view.operands[1] = &given;
  view.result = &mesh;
  view.origins = origins;
  view.corners = corners;
  view.weights = weights;
  for (CsgAttribute* attr : attributes) attr->interpolate(view);
}

}  // namespace geom::csg
