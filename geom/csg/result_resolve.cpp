#include "geom/csg/result_resolve.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "geom/csg/intake.h"
#include "geom/csg/operand.h"
#include "geom/csg/resolve.h"
#include "geom/csg/resolved_values.h"
#include "geom/csg/self_intersection.h"
#include "geom/error.h"
#include "geom/predicates.h"
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
      out.cornerSources.push_back(blendedCorner(polygon, p, out.weights, w));
    }
  }
}

// rb's faces as triangles, each with the face of rb it lies in: rounding may have left a
// polygon that no longer is a simple one.
struct Triangles {
  Polyhedron mesh;
  std::vector<std::uint32_t> triFace;
};

Triangles trianglesOf(const ResultBuild& rb) {
  std::vector<std::uint32_t> offsets{0}, triFace;
  std::vector<int> corners;
  std::vector<Triangulator::Triangle> tris;
  for (std::size_t f = 0; f < rb.faceCount(); ++f) {
    const std::uint32_t b = rb.offsets[f];
    faceTriangles(rb, f, tris);
    for (const auto& t : tris) {
      for (const std::uint32_t k : t) corners.push_back(rb.corners[b + k]);
      offsets.push_back(static_cast<std::uint32_t>(corners.size()));
      triFace.push_back(static_cast<std::uint32_t>(f));
    }
  }
  return {Polyhedron(rb.points, std::move(offsets), std::move(corners)), std::move(triFace)};
}

// The surface of the solid t stands for, on the grid, with each face's source face of rb.
// Throws geom::Error when it cannot be resolved.
ResolvedOperand resolved(const Triangles& t, const Grid& grid) {
  const std::string name = "the result";
  // Rounding may have joined the ends of an edge; a result may touch itself (a symmetric
  // difference, slivers along the cut), and is then checked as the sheets it is made of.
  std::optional<ResolvedOperand> given = mendOperand(t.mesh);
  const Polyhedron& mended = given ? given->mesh : t.mesh;
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
  if (op.open()) throw Error(name + " is open");
  ResolvedOperand r = resolveSelfIntersections(op, grid);
  for (std::uint32_t& f : r.sourceFace) f = t.triFace[given ? given->sourceFace[f] : f];
  // A sliver thinner than the grid's step that the rounding turned inside out lies in no
  // outward island: it winds around its points -1 times, and goes.
  const TriangulatedOperand back = prepareOperand(r.mesh, name);
  if (back.open()) throw Error(name + " is open once resolved");
  const std::vector<std::uint8_t> drop = redundantIslands(back, true);
  if (std::find(drop.begin(), drop.end(), 1) != drop.end()) r = withoutIslands(back, drop, &r);
  return r;
}

void dropFaces(ResultBuild& rb, const std::vector<std::uint8_t>& drop) {
  ResultBuild out;
  out.weights = std::move(rb.weights);
  std::vector<int> number(rb.points.size(), -1);
  for (std::size_t f = 0; f < rb.faceCount(); ++f) {
    if (drop[f]) continue;
    for (std::uint32_t i = rb.offsets[f]; i < rb.offsets[f + 1]; ++i) {
      int& n = number[rb.corners[i]];
      if (n < 0) {
        n = static_cast<int>(out.points.size());
        out.points.push_back(rb.points[rb.corners[i]]);
      }
      out.corners.push_back(n);
      if (!rb.cornerSources.empty()) out.cornerSources.push_back(rb.cornerSources[i]);
    }
    out.offsets.push_back(static_cast<std::uint32_t>(out.corners.size()));
    out.origins.push_back(rb.origins[f]);
  }
  out.unsettled = rb.unsettled;
  rb = std::move(out);
}

// On average thinner than this many steps of the grid, an island is a sliver: far below
// anything a user sees, and where rounding folds or turns it, it goes.
constexpr double kThin = 16;

// Per island of m marked in `which`: its signed volume, and whether it is a sliver (thinner on
// average than kThin steps of the grid). Faces count as fans around their first corner.
struct IslandSizes {
  std::vector<double> volume;
  std::vector<std::uint8_t> sliver;
};

IslandSizes sizesOf(const Polyhedron& m, const Grid& grid, const std::vector<std::uint8_t>& which) {
  const std::size_t islands = m.manifoldCount();
  const std::vector<Vec3>& pts = m.vertices();
  std::vector<double> volume(islands, 0), area(islands, 0), step(islands, 0);
  for (std::size_t f = 0; f < m.faceCount(); ++f) {
    const int i = m.manifold_id(f);
    if (!which[i]) continue;
    const std::span<const int> c = m.face(f);
    const Vec3& o = pts[c[0]];
    for (std::size_t k = 0; k < c.size(); ++k) step[i] = std::max(step[i], grid.spacing(pts[c[k]]));
    for (std::size_t k = 1; k + 1 < c.size(); ++k) {
      const Vec3 &p = pts[c[k]], &q = pts[c[k + 1]];
      volume[i] += dot(o, cross(p, q)) / 6;
      area[i] += length(cross(p - o, q - o)) / 2;
    }
  }
  IslandSizes s{std::move(volume), std::vector<std::uint8_t>(islands, 0)};
  for (std::size_t i = 0; i < islands; ++i)
    s.sliver[i] = which[i] && 3 * std::fabs(s.volume[i]) <= kThin * step[i] * area[i];
  return s;
}

// Where the resolution fails, the islands that cross themselves or each other, or that the
// rounding turned inside out, go if they are slivers: on average thinner than kThin steps of the
// grid, far below anything a user sees. With solids (both operands closed), an open island is a
// fault of the same kind; otherwise it may be what is left of an open operand, and stays.
// Returns false, rb unchanged, when crossings or such open islands would stay.
bool dropFoldedSlivers(ResultBuild& rb, const Triangles& t, const Grid& grid, bool solids) {
  const Polyhedron& m = t.mesh;
  const std::vector<Vec3>& pts = m.vertices();
  const std::size_t islands = m.manifoldCount();
  std::vector<std::uint8_t> bad(islands, 0);
  if (solids) {
    for (std::size_t i = 0; i < islands; ++i) bad[i] = !m.manifold_is_closed()[i];
  }
  std::vector<std::array<int, 3>> tris;
  std::vector<std::uint32_t> group;
  std::vector<int> triIsland;
  for (std::size_t f = 0; f < m.faceCount(); ++f) {
    const std::span<const int> c = m.face(f);
    const int i = m.manifold_id(f);
    if (collinear(pts[c[0]], pts[c[1]], pts[c[2]])) {
      bad[i] = 1;
      continue;
    }
    group.push_back(static_cast<std::uint32_t>(tris.size()));
    tris.push_back({c[0], c[1], c[2]});
    triIsland.push_back(i);
  }
  meetingTriangles(
      pts, tris, std::vector<std::uint8_t>(tris.size(), 1), group,
      [&](std::size_t u, std::size_t v) { bad[triIsland[u]] = bad[triIsland[v]] = 1; });
  const IslandSizes sizes = sizesOf(m, grid, std::vector<std::uint8_t>(islands, 1));
  std::vector<std::uint8_t> drop(islands, 0);
  bool any = false;
  for (std::size_t i = 0; i < islands; ++i) {
    drop[i] = (solids || m.manifold_is_closed()[i]) && sizes.sliver[i] &&
              (bad[i] || !(sizes.volume[i] > 0));
    if (bad[i] && !drop[i]) return false;
    any = any || drop[i];
  }
  if (!any) return false;
  std::vector<std::uint8_t> dropFace(rb.faceCount(), 0);
  for (std::size_t k = 0; k < t.triFace.size(); ++k)
    dropFace[t.triFace[k]] = drop[m.manifold_id(k)];
  dropFaces(rb, dropFace);
  return true;
}

}  // namespace

void faceTriangles(const ResultBuild& rb, std::size_t f, std::vector<Triangulator::Triangle>& out) {
  const std::uint32_t b = rb.offsets[f], n = rb.offsets[f + 1] - b;
  out.clear();
  if (n <= 3) {
    out.push_back({0, 1, 2});
    return;
  }
  std::vector<Vec3> polygon;
  for (std::uint32_t i = 0; i < n; ++i) polygon.push_back(rb.points[rb.corners[b + i]]);
  Triangulator::triangulateAlways(polygon, out);
}

bool resolveOnGrid(ResultBuild& rb, const Polyhedron* const operands[2], const Grid& grid,
                   bool wantCorners, bool solids) {
  const Triangles t = trianglesOf(rb);
  std::optional<ResolvedOperand> r;
  try {
    r = resolved(t, grid);
  } catch (const Error&) {
    return dropFoldedSlivers(rb, t, grid, solids);
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

void withoutFaces(ResultBuild& rb, const std::vector<std::uint8_t>& drop) {
  dropFaces(rb, drop);
}

std::vector<std::uint8_t> turnedSlivers(const Polyhedron& result, const Grid& grid) {
  const std::vector<bool>& negative = result.manifold_is_negative();
  const std::vector<bool>& closed = result.manifold_is_closed();
  std::vector<std::uint8_t> which(negative.size(), 0);
  bool any = false;
  for (std::size_t i = 0; i < negative.size(); ++i) {
    which[i] = negative[i] && closed[i];
    any = any || which[i];
  }
  if (!any) return {};
  const IslandSizes sizes = sizesOf(result, grid, which);
  std::vector<std::uint8_t> drop(result.faceCount(), 0);
  any = false;
  for (std::size_t f = 0; f < result.faceCount(); ++f) {
    drop[f] = sizes.sliver[result.manifold_id(f)];
    any = any || drop[f];
  }
  if (!any) return {};
  return drop;
}

}  // namespace geom::csg
