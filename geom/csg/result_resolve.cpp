#include "geom/csg/result_resolve.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "geom/csg/intake.h"
#include "geom/csg/operand.h"
#include "geom/csg/resolve.h"
#include "geom/csg/resolved_values.h"
#include "geom/error.h"
#include "geom/mean_value.h"
#include "geom/triangulator.h"

namespace geom::csg {

namespace {

// Corner derivations of the resolved faces: a corner where the face it lies in had a corner
// keeps that corner's derivation, any other is placed in its source face anew.
void deriveAgain(const ResultBuild& before, const ResolvedOperand& r,
                 const Polyhedron* const operands[2], ResultBuild& out) {
  out.weights = before.weights;
  std::vector<Vec3> polygon;
  std::vector<double> w;
  for (std::size_t f = 0; f < r.mesh.faceCount(); ++f) {
    const std::uint32_t from = r.sourceFace[f];
    const FaceOrigin& o = before.origins[from];
    for (const int v : r.mesh.face(f)) {
      const Vec3& p = r.mesh.vertices()[v];
      std::optional<CornerSource> same;
      for (std::uint32_t i = before.offsets[from]; i < before.offsets[from + 1] && !same; ++i) {
        if (before.points[before.corners[i]] == p) same = before.cornerSources[i];
      }
      if (same) {
        out.cornerSources.push_back(*same);
        continue;
      }
      const Polyhedron& src = *operands[o.operand];
      polygon.clear();
      for (const int u : src.face(o.face)) polygon.push_back(src.vertices()[u]);
      meanValueWeights(polygon, p, w);
      CornerSource cs{static_cast<std::uint32_t>(out.weights.size()), 0};
      for (std::size_t k = 0; k < w.size(); ++k) {
        if (w[k] != 0.0) out.weights.push_back({static_cast<std::uint32_t>(k), w[k]});
      }
      cs.count = static_cast<std::uint32_t>(out.weights.size()) - cs.begin;
      if (cs.count == 0) cs = {0, 0};
      out.cornerSources.push_back(cs);
    }
  }
}

}  // namespace

bool resolveOnGrid(ResultBuild& rb, const Polyhedron* const operands[2], const Grid& grid,
                   bool wantCorners) {
  const std::string name = "the result";
  std::optional<ResolvedOperand> r;
  try {
    // As triangles: rounding may have left a polygon that no longer is a simple one.
    std::vector<std::uint32_t> offsets{0}, triFace;
    std::vector<int> corners;
    std::vector<Vec3> polygon;
    std::vector<Triangulator::Triangle> tris;
    for (std::size_t f = 0; f < rb.faceCount(); ++f) {
      const std::uint32_t b = rb.offsets[f], n = rb.offsets[f + 1] - b;
      tris.clear();
      if (n == 3) {
        tris.push_back({0, 1, 2});
      } else {
        polygon.clear();
        for (std::uint32_t i = 0; i < n; ++i) polygon.push_back(rb.points[rb.corners[b + i]]);
        Triangulator::triangulateAlways(polygon, tris);
      }
      for (const auto& t : tris) {
        for (const std::uint32_t k : t) corners.push_back(rb.corners[b + k]);
        offsets.push_back(static_cast<std::uint32_t>(corners.size()));
        triFace.push_back(static_cast<std::uint32_t>(f));
      }
    }
    const Polyhedron mesh(rb.points, std::move(offsets), std::move(corners));
    // Rounding may have joined the ends of an edge; a result may touch itself (a symmetric
    // difference, slivers along the cut), and is then checked as the sheets it is made of.
    std::optional<ResolvedOperand> given = mendOperand(mesh);
    const Polyhedron& mended = given ? given->mesh : mesh;
    TriangulatedOperand op;
    try {
      op = prepareOperand(mended, name);
    } catch (const Error&) {
      std::optional<ResolvedOperand> split = splitTouchingSheets(mended, given ? &*given : nullptr);
      if (!split) throw;
      given = std::move(split);
      op = prepareOperand(given->mesh, name);
      op.sameVertex = given->sameVertex;
    }
    if (op.open()) return false;
    r = resolveSelfIntersections(op, grid);
    for (std::uint32_t& f : r->sourceFace) f = triFace[given ? given->sourceFace[f] : f];
    // A sliver thinner than the grid's step that the rounding turned inside out lies in no
    // outward island: it winds around its points -1 times, and goes.
    const TriangulatedOperand back = prepareOperand(r->mesh, name);
    const std::vector<std::uint8_t> drop = redundantIslands(back, true);
    if (std::find(drop.begin(), drop.end(), 1) != drop.end()) r = withoutIslands(back, drop, &*r);
  } catch (const Error&) {
    return false;
  }
  ResultBuild out;
  out.points = r->mesh.vertices();
  out.offsets.assign(1, 0);
  for (std::size_t f = 0; f < r->mesh.faceCount(); ++f) {
    for (const int v : r->mesh.face(f)) out.corners.push_back(v);
    out.offsets.push_back(static_cast<std::uint32_t>(out.corners.size()));
    out.origins.push_back(rb.origins[r->sourceFace[f]]);
  }
  if (wantCorners) deriveAgain(rb, *r, operands, out);
  rb = std::move(out);
  return true;
}

}  // namespace geom::csg
