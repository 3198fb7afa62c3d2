// Assembly of a Boolean result as an indexed polygon mesh with provenance.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "geom/csg/classify.h"
#include "geom/csg_attributes.h"
#include "geom/csg_grid.h"

namespace geom::csg {

// A result before it becomes a Polyhedron: face f uses corners [offsets[f], offsets[f+1]).
struct ResultBuild {
  std::vector<Vec3> points;
  std::vector<std::uint32_t> offsets{0};
  std::vector<int> corners;
  std::vector<FaceOrigin> origins;
  // Per corner, when asked for: how the corner derives from its source face's corners.
  std::vector<CornerSource> cornerSources;
  std::vector<CornerWeight> weights;
  // Faces around the cut stayed invalid operand faces after every snapping round.
  bool unsettled = false;

  std::size_t faceCount() const { return offsets.size() - 1; }
};

// How a corner at p derives from the corners of the source face `polygon` (its corners in
// order), where p is not one of them: its nonzero mean-value weights, appended to weights.
// w is scratch space.
CornerSource blendedCorner(std::span<const Vec3> polygon, const Vec3& p,
                           std::vector<CornerWeight>& weights, std::vector<double>& w);

// Builds the result from the kept faces. A source face none of whose triangles was cut comes
// out whole in its input vertex order (reversed: first vertex kept, the rest in reverse order);
// the kept pieces of a cut face become simple polygons, merged only across edges inside the
// source face where no other kept face attaches, each rotated to start at the source corner of
// lowest index it contains. A vertex the intersection created only where it crossed the
// internal triangulation (on no edge of either operand's faces) and that lies straight between
// its only two neighbours is dropped from every face that uses it. Vertices are numbered in
// order of first use. With wantCorners, cornerSources and weights are filled: a copy where a
// result corner is a corner of its source face, otherwise mean-value weights in the source
// face's coordinates. With an active grid every vertex is placed where publication rounds it
// before the faces around the cut are snapped and checked, and a cut face whose corners are then
// not exactly in one plane is given as the triangles that were checked; where faces around the
// cut stay invalid after every snapping round, out.unsettled is set.
void assemble(const Corefinement& cf, const TriangulatedOperand& a, const TriangulatedOperand& b,
              const Classification& cls, bool wantCorners, const Grid& grid, ResultBuild& out);

}  // namespace geom::csg
