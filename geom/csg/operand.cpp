#include "geom/csg/operand.h"

#include <algorithm>
#include <cmath>

#include "geom/csg/solid_query.h"
#include "geom/error.h"
#include "geom/predicates.h"
#include "geom/triangulator.h"

namespace geom::csg {

namespace {

std::string str(std::size_t v) {
  return std::to_string(v);
}

[[noreturn]] void fail(const std::string& name, const std::string& what) {
  throw Error::invalidOperand(name, what);
}

void checkFace(const Polyhedron& mesh, std::size_t f, const std::string& name,
               std::vector<Vec3>& corners) {
  const std::span<const int> idx = mesh.face(f);
  const std::size_t n = idx.size();
  if (n < 3) fail(name, "has a face with fewer than three vertices (face " + str(f) + ")");
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = i + 1; j < n; ++j) {
      if (idx[i] == idx[j]) {
        fail(name, "has a face that uses a vertex twice (face " + str(f) + ", vertex " +
                       str(idx[i]) + ")");
      }
    }
  }
  corners.clear();
  for (int v : idx) corners.push_back(mesh.vertices()[v]);
  for (std::size_t i = 0; i < n; ++i) {
    if (corners[i] == corners[(i + 1) % n]) {
      fail(name, "has a zero-length edge (face " + str(f) + ", vertices " + str(idx[i]) + " and " +
                     str(idx[(i + 1) % n]) + " coincide)");
    }
  }
  bool flat = true;
  for (std::size_t i = 2; i < n && flat; ++i) flat = collinear(corners[0], corners[1], corners[i]);
  if (flat) fail(name, "has a face of zero area (face " + str(f) + ")");
}

// Groups the half-edges by their vertex pair and pairs each with its opposite. Half-edges are
// bucketed by their lower vertex, which keeps the work linear and the buckets small.
void pairHalfEdges(TriangulatedOperand& op, std::size_t vertexCount) {
  const std::size_t nh = op.tris.size() * 3;
  std::vector<std::uint32_t> start(vertexCount + 1, 0);
  auto lowHigh = [&](std::size_t h) {
    const int a = op.tris[h / 3][h % 3];
    const int b = op.tris[h / 3][(h % 3 + 1) % 3];
    return std::pair<int, int>(std::min(a, b), std::max(a, b));
  };
  for (std::size_t h = 0; h < nh; ++h) ++start[lowHigh(h).first + 1];
  for (std::size_t v = 0; v < vertexCount; ++v) start[v + 1] += start[v];
  std::vector<std::uint32_t> bucket(nh);
  {
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
    for (std::size_t h = 0; h < nh; ++h)
      bucket[fill[lowHigh(h).first]++] = static_cast<std::uint32_t>(h);
  }
  op.opposite.assign(nh, -1);
  std::size_t open = 0, misoriented = 0;
  for (std::size_t v = 0; v < vertexCount; ++v) {
    auto first = bucket.begin() + start[v], last = bucket.begin() + start[v + 1];
    std::sort(first, last, [&](std::uint32_t x, std::uint32_t y) {
      return lowHigh(x).second < lowHigh(y).second ||
             (lowHigh(x).second == lowHigh(y).second && x < y);
    });
    for (auto it = first; it != last;) {
      const int high = lowHigh(*it).second;
      auto end = it;
      while (end != last && lowHigh(*end).second == high) ++end;
      const std::size_t uses = static_cast<std::size_t>(end - it);
      if (uses > 2) {
        fail(op.name, "is not manifold: edge (" + str(v) + ", " + str(high) + ") is used by " +
                          str(uses) + " faces");
      }
      if (uses == 1) {
        ++open;
      } else {
        const std::size_t h0 = it[0], h1 = it[1];
        if (op.tris[h0 / 3][h0 % 3] == op.tris[h1 / 3][h1 % 3]) {
          ++misoriented;
        } else {
          op.opposite[h0] = static_cast<int>(h1);
          op.opposite[h1] = static_cast<int>(h0);
        }
      }
      it = end;
    }
  }
  if (misoriented > 0) {
    fail(op.name, "is not consistently oriented: " + str(misoriented) +
                      " edges are used twice in the same direction");
  }
  op.borderEdges = open;
}

// A vertex whose faces form more than one fan (pinched, e.g. two solids sharing one corner, or
// two holes of an open surface meeting in one corner) is not a manifold vertex, and CGAL's
// halfedge meshes cannot hold it.
void checkFans(const TriangulatedOperand& op, std::size_t vertexCount) {
  const std::size_t nh = op.tris.size() * 3;
  std::vector<std::uint8_t> seen(nh, 0);
  std::vector<std::uint8_t> hasFan(vertexCount, 0);
  for (std::size_t h = 0; h < nh; ++h) {
    if (seen[h]) continue;
    const int v = op.tris[h / 3][h % 3];
    if (hasFan[v]) {
      fail(op.name, "is not manifold: separate fans of faces meet at vertex " + str(v));
    }
    hasFan[v] = 1;
    // Around v one way until the ring closes or a border ends it, then the other way.
    std::size_t cur = h;
    for (;;) {
      seen[cur] = 1;
      const std::size_t prev = cur - cur % 3 + (cur % 3 + 2) % 3;  // ends at v
      const int next = op.opposite[prev];                          // starts at v
      if (next < 0 || static_cast<std::size_t>(next) == h) break;
      cur = static_cast<std::size_t>(next);
    }
    cur = h;
    for (int back = op.opposite[cur]; back >= 0 && !seen[back - back % 3 + (back % 3 + 1) % 3];
         back = op.opposite[cur]) {
      cur = static_cast<std::size_t>(back - back % 3 + (back % 3 + 1) % 3);
      seen[cur] = 1;
    }
  }
}

void findIslands(TriangulatedOperand& op) {
  const std::size_t nt = op.tris.size();
  op.triIsland.assign(nt, -1);
  op.islandVolume.clear();
  const std::vector<Vec3>& pts = op.mesh->vertices();
  const Vec3 c = (op.lo + op.hi) * 0.5;
  std::vector<std::uint32_t> stack;
  for (std::size_t seed = 0; seed < nt; ++seed) {
    if (op.triIsland[seed] >= 0) continue;
    const int island = static_cast<int>(op.islandVolume.size());
    double volume = 0;
    op.triIsland[seed] = island;
    stack.push_back(static_cast<std::uint32_t>(seed));
    while (!stack.empty()) {
      const std::uint32_t t = stack.back();
      stack.pop_back();
      const auto& tri = op.tris[t];
      volume += dot(pts[tri[0]] - c, cross(pts[tri[1]] - c, pts[tri[2]] - c)) / 6.0;
      for (int k = 0; k < 3; ++k) {
        const int o = op.opposite[3 * t + k];
        if (o < 0) continue;  // a border
        const std::uint32_t n = static_cast<std::uint32_t>(o / 3);
        if (op.triIsland[n] < 0) {
          op.triIsland[n] = island;
          stack.push_back(n);
        }
      }
    }
    op.islandVolume.push_back(volume);
  }
}

}  // namespace

TriangulatedOperand prepareOperand(const Polyhedron& mesh, const std::string& name) {
  TriangulatedOperand op;
  op.mesh = &mesh;
  op.name = name;
  const std::vector<Vec3>& pts = mesh.vertices();
  for (std::size_t v = 0; v < pts.size(); ++v) {
    if (!isFinite(pts[v])) fail(name, "has a non-finite coordinate (vertex " + str(v) + ")");
  }
  const std::size_t nf = mesh.faceCount();
  op.faceFirstTri.resize(nf + 1);
  op.tris.reserve(mesh.cornerCount() - 2 * nf);
  op.triFace.reserve(op.tris.capacity());
  std::vector<Vec3> corners;
  std::vector<Triangulator::Triangle> local;
  for (std::size_t f = 0; f < nf; ++f) {
    op.faceFirstTri[f] = static_cast<std::uint32_t>(op.tris.size());
    checkFace(mesh, f, name, corners);
    const std::span<const int> idx = mesh.face(f);
    local.clear();
    if (!Triangulator::triangulate(corners, local)) {
      fail(name, "has a face that is not a simple polygon in its plane (face " + str(f) + ")");
    }
    for (const auto& t : local) {
      op.tris.push_back({idx[t[0]], idx[t[1]], idx[t[2]]});
      op.triFace.push_back(static_cast<std::uint32_t>(f));
    }
  }
  op.faceFirstTri[nf] = static_cast<std::uint32_t>(op.tris.size());
  op.triCount = op.tris.size();
  if (op.tris.empty()) return op;
  op.lo = op.hi = pts[op.tris[0][0]];
  for (const auto& t : op.tris) {
    for (int v : t) {
      const Vec3& p = pts[v];
      op.lo = {std::min(op.lo.x, p.x), std::min(op.lo.y, p.y), std::min(op.lo.z, p.z)};
      op.hi = {std::max(op.hi.x, p.x), std::max(op.hi.y, p.y), std::max(op.hi.z, p.z)};
    }
  }
  pairHalfEdges(op, pts.size());
  checkFans(op, pts.size());
  findIslands(op);
  return op;
}

std::vector<std::uint8_t> redundantIslands(const TriangulatedOperand& op, bool dropInward) {
  std::vector<std::uint8_t> drop(op.islandCount(), 0);
  // An open surface bounds no solid by its orientation and nesting; what it stands for is told
  // by its winding number wherever it is asked, so every island stays.
  if (op.empty() || op.open()) return drop;
  if (op.islandCount() == 1) {
    if (!(op.islandVolume[0] > 0)) {
      if (dropInward) return {1};
      fail(op.name, "is wound inwards (its volume is negative)");
    }
    return drop;
  }
  // Each island is inside as many others as its orientation allows for a boundary of the
  // solid: an outward island in none (counting inward islands as -1), an inward one in exactly
  // one. Deeper islands lie inside the solid anyway.
  const SolidQuery query(op.mesh->vertices(), op.tris, &op.triIsland, op.name);
  const std::vector<Vec3>& pts = op.mesh->vertices();
  std::vector<int> sample(op.islandCount(), -1);
  for (std::size_t t = 0; t < op.tris.size(); ++t) {
    if (sample[op.triIsland[t]] < 0) sample[op.triIsland[t]] = static_cast<int>(t);
  }
  for (std::size_t i = 0; i < op.islandCount(); ++i) {
    const auto& tri = op.tris[sample[i]];
    const Vec3 p = (pts[tri[0]] + pts[tri[1]] + pts[tri[2]]) * (1.0 / 3.0);
    const int w = query.winding(p, static_cast<int>(i));
    const bool outward = op.islandVolume[i] > 0;
    if ((outward && w < 0) || (!outward && w < 1)) {
      if (dropInward) {
        drop[i] = 1;
        continue;
      }
      fail(op.name, "is wound inwards: island " + str(i) +
                        " is wound inwards but is not inside an outward island");
    }
    drop[i] = outward ? w > 0 : w > 1;
  }
  return drop;
}

const BoxTree& trianglesTree(const TriangulatedOperand& op) {
  if (!op.tree) op.tree = std::make_shared<const BoxTree>(op.mesh->vertices(), op.tris);
  return *op.tree;
}

}  // namespace geom::csg
