// Which patches of a cut surface bound the solid it stands for, and the resolution of a closed
// operand from triangles cut one by one (csg/soup_refine) where CGAL's autorefinement gives up.
#include <algorithm>
#include <numeric>
#include <string>

#include "geom/csg/apart.h"
#include "geom/csg/pending.h"
#include "geom/csg/resolve.h"
#include "geom/csg/solid_query.h"
#include "geom/csg/soup_refine.h"
#include "geom/error.h"
#include "geom/predicates.h"

namespace geom::csg {

std::vector<std::uint8_t> facingOutside(const std::vector<Vec3>& points,
                                        const std::vector<std::array<int, 3>>& tris,
                                        const std::vector<int>& patch, const std::string& name) {
  // Along a patch nothing crosses the surface, so the winding number in front of it is mostly
  // the same throughout; a triangle bounds the solid (winding number at least one) when that
  // number is 0. It is taken at the patch's largest triangle.
  const int patches = tris.empty() ? 0 : *std::max_element(patch.begin(), patch.end()) + 1;
  std::vector<std::size_t> best(patches, 0);
  std::vector<double> bestArea(patches, -1);
  std::vector<std::vector<std::size_t>> members(patches);
  for (std::size_t t = 0; t < tris.size(); ++t) {
    const auto& tri = tris[t];
    const double area =
        length(cross(points[tri[1]] - points[tri[0]], points[tri[2]] - points[tri[0]]));
    const int id = patch[t];
    if (area > bestArea[id]) bestArea[id] = area, best[id] = t;
    members[id].push_back(t);
  }
  // Where sheets only touch, the cut marks no curve, and a patch can run on through such a
  // place while the winding number in front of it changes there: small patches (where such
  // places are) and patches whose samples disagree are decided triangle by triangle.
  const SolidQuery query(points, tris, nullptr, name);
  auto inFront = [&](std::size_t t) {
    const auto& tri = tris[t];
    const Vec3 c = (points[tri[0]] + points[tri[1]] + points[tri[2]]) * (1.0 / 3.0);
    const int w = query.windingInFront(c, t);
    if (w == SolidQuery::kOnSurface) {
      throw Error::invalidOperand(name,
                                  "self-intersects where two of its sheets lie on each other");
    }
    return w;
  };
  std::vector<std::uint8_t> keep(tris.size(), 0);
  constexpr std::size_t kSmall = 2000, kSamples = 8;
  for (int id = 0; id < patches; ++id) {
    const std::vector<std::size_t>& in = members[id];
    if (in.empty()) continue;
    bool one = in.size() > kSmall;
    const int w = inFront(best[id]);
    for (std::size_t k = 1; k <= kSamples && one; ++k)
      one = inFront(in[k * in.size() / (kSamples + 1)]) == w;
    for (const std::size_t t : in) keep[t] = (one ? w : inFront(t)) == 0;
  }
  return keep;
}

namespace {

// A surface cut along its crossings and reduced to the patches that bound its solid, every
// vertex rounded onto the grid, not yet settled there.
struct Selected {
  std::vector<Vec3> points;
  std::vector<std::uint32_t> offsets{0};
  std::vector<int> corners;
  std::vector<std::uint32_t> sourceFace;
};

// Patches: triangles joined across edges of exactly two triangles that run it both ways. The
// cut welds its points, so where sheets crossed four triangles share an edge.
std::vector<int> patchesOf(const std::vector<std::array<int, 3>>& tris) {
  struct Side {
    std::uint64_t edge;
    std::uint32_t tri;
    bool forward;
  };
  std::vector<Side> sides;
  sides.reserve(3 * tris.size());
  for (std::size_t t = 0; t < tris.size(); ++t) {
    for (int k = 0; k < 3; ++k) {
      const int u = tris[t][k], v = tris[t][(k + 1) % 3];
      sides.push_back(
          {directedKey(std::min(u, v), std::max(u, v)), static_cast<std::uint32_t>(t), u < v});
    }
  }
  std::sort(sides.begin(), sides.end(), [](const Side& a, const Side& b) {
    return a.edge != b.edge ? a.edge < b.edge : a.tri < b.tri;
  });
  std::vector<int> parent(tris.size());
  std::iota(parent.begin(), parent.end(), 0);
  auto find = [&](int t) {
    while (parent[t] != t) t = parent[t] = parent[parent[t]];
    return t;
  };
  for (std::size_t i = 0; i < sides.size();) {
    std::size_t j = i;
    while (j < sides.size() && sides[j].edge == sides[i].edge) ++j;
    if (j - i == 2 && sides[i].forward != sides[i + 1].forward) {
      parent[find(static_cast<int>(sides[i].tri))] = find(static_cast<int>(sides[i + 1].tri));
    }
    i = j;
  }
  std::vector<int> patch(tris.size(), -1), idOfRoot(tris.size(), -1);
  int patches = 0;
  for (std::size_t t = 0; t < tris.size(); ++t) {
    int& id = idOfRoot[find(static_cast<int>(t))];
    if (id < 0) id = patches++;
    patch[t] = id;
  }
  return patch;
}

// triFace: per triangle, the face it lies in, which the selection's sourceFace reports.
Selected cutAndSelect(const std::vector<Vec3>& points, const std::vector<std::array<int, 3>>& tris,
                      const std::vector<std::uint32_t>& triFace, const Grid& grid,
                      const std::string& name) {
  const RefinedSoup s = refineSoup(points, tris);
  const std::vector<std::uint8_t> keep = facingOutside(s.points, s.tris, patchesOf(s.tris), name);
  std::vector<int> number(s.points.size(), -1);
  Selected out;
  for (std::size_t t = 0; t < s.tris.size(); ++t) {
    if (!keep[t]) continue;
    for (int v : s.tris[t]) {
      if (number[v] < 0) {
        number[v] = static_cast<int>(out.points.size());
        out.points.push_back(grid.round(s.points[v]));
      }
      out.corners.push_back(number[v]);
    }
    out.offsets.push_back(static_cast<std::uint32_t>(out.corners.size()));
    out.sourceFace.push_back(triFace[s.sourceTri[t]]);
  }
  return out;
}

}  // namespace

ResolvedOperand resolveBySoup(const TriangulatedOperand& op, const Grid& grid, int rounds) {
  Selected s = cutAndSelect(op.mesh->vertices(), op.tris, op.triFace, grid, op.name);
  for (int round = 1;; ++round) {
    try {
      return settleResolved(s.points, s.offsets, s.corners, s.sourceFace, grid, op.name);
    } catch (const Error&) {
      if (round >= rounds) throw;
    }
    // Where sheets cross at a tiny angle, the points of their crossing curve, rounded onto the
    // grid, can fold triangles beside them through one another: the rounded surface is cut
    // again, each time closer to the grid's own step. Triangles rounding left without area go.
    std::vector<std::array<int, 3>> tris;
    std::vector<std::uint32_t> face;
    for (std::size_t t = 0; t + 1 < s.offsets.size(); ++t) {
      const int* c = &s.corners[s.offsets[t]];
      if (collinear(s.points[c[0]], s.points[c[1]], s.points[c[2]])) continue;
      tris.push_back({c[0], c[1], c[2]});
      face.push_back(s.sourceFace[t]);
    }
    s = cutAndSelect(s.points, tris, face, grid, op.name);
  }
}

}  // namespace geom::csg
