#include "geom/csg/intake.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <unordered_map>
#include <vector>

#include "geom/csg/apart.h"
#include "geom/csg/pending.h"
#include "geom/csg/sheets.h"
#include "geom/predicates.h"

namespace geom::csg {

namespace {

using Face = std::vector<int>;

// Vertices at one position that a face joins by an edge (a zero-length edge), mapped to the
// lowest index among those so joined; empty when there are none. Coincident vertices that no
// edge joins stay apart: there the surface touches itself, and welding them would pinch it.
std::vector<int> zeroLengthEdges(const Polyhedron& mesh) {
  const std::vector<Vec3>& pts = mesh.vertices();
  std::vector<int> to;
  auto find = [&](int v) {
    while (to[v] != v) v = to[v] = to[to[v]];
    return v;
  };
  for (std::size_t f = 0; f < mesh.faceCount(); ++f) {
    const auto c = mesh.face(f);
    for (std::size_t i = 0; i < c.size(); ++i) {
      const int u = c[i], v = c[(i + 1) % c.size()];
      if (u == v || pts[u] != pts[v]) continue;
      if (to.empty()) {
        to.resize(pts.size());
        for (std::size_t k = 0; k < pts.size(); ++k) to[k] = static_cast<int>(k);
      }
      const int ru = find(u), rv = find(v);
      if (ru != rv) to[std::max(ru, rv)] = std::min(ru, rv);
    }
  }
  for (std::size_t k = 0; k < to.size(); ++k) to[k] = find(static_cast<int>(k));
  return to;
}

// Repeated corners in a row go (a closed walk: the last and the first count as a row too).
void dropRepeats(Face& f) {
  std::size_t n = 0;
  for (int v : f) {
    if (n == 0 || f[n - 1] != v) f[n++] = v;
  }
  while (n > 1 && f[n - 1] == f[0]) --n;
  f.resize(n);
}

bool flat(const std::vector<Vec3>& pts, std::span<const int> f) {
  for (std::size_t i = 2; i < f.size(); ++i) {
    if (!collinear(pts[f[0]], pts[f[1]], pts[f[i]])) return false;
  }
  return true;
}

// Whether some face has a corner repeated in a row, fewer than three corners or no area: what
// the mending below changes besides welding. Most meshes have none, and are passed on without
// a copy of their faces.
bool anyFaceToMend(const Polyhedron& mesh) {
  const std::vector<Vec3>& pts = mesh.vertices();
  for (std::size_t f = 0; f < mesh.faceCount(); ++f) {
    const auto c = mesh.face(f);
    if (c.size() < 3) return true;
    for (std::size_t i = 0; i < c.size(); ++i) {
      if (c[i] == c[(i + 1) % c.size()]) return true;
    }
    if (flat(pts, c)) return true;
  }
  return false;
}

// Position of each corner of a face without area along its line, for finding its longest edge.
double along(const std::vector<Vec3>& pts, const Face& f, int v) {
  Vec3 d = pts[f[1]] - pts[f[0]];
  for (std::size_t i = 2; i < f.size() && dot(d, d) == 0; ++i) d = pts[f[i]] - pts[f[0]];
  return dot(pts[v] - pts[f[0]], d);
}

// The source faces of a mesh whose faces keep their order: those of what it was mended from,
// or its own.
std::vector<std::uint32_t> sourceFaces(const Polyhedron& mesh, const ResolvedOperand* from) {
  if (from != nullptr) return from->sourceFace;
  std::vector<std::uint32_t> faces(mesh.faceCount());
  for (std::size_t f = 0; f < faces.size(); ++f) faces[f] = static_cast<std::uint32_t>(f);
  return faces;
}

}  // namespace

std::optional<ResolvedOperand> mendOperand(const Polyhedron& mesh) {
  const std::vector<Vec3>& pts = mesh.vertices();
  // Predicates on a coordinate that is not finite mean nothing; the operand checks name it.
  for (const Vec3& p : pts) {
    if (!isFinite(p)) return std::nullopt;
  }
  const std::vector<int> to = zeroLengthEdges(mesh);
  if (to.empty() && !anyFaceToMend(mesh)) return std::nullopt;
  std::vector<Face> faces(mesh.faceCount());
  bool changed = false;
  for (std::size_t f = 0; f < mesh.faceCount(); ++f) {
    const auto idx = mesh.face(f);
    faces[f].assign(idx.begin(), idx.end());
    if (!to.empty()) {
      for (int& v : faces[f]) v = to[v];
    }
    const std::size_t before = faces[f].size();
    dropRepeats(faces[f]);
    changed = changed || faces[f].size() != before;
  }
  // Faces without area: each hands its corners between the ends of its longest edge to the face
  // across that edge, and goes.
  std::vector<std::uint8_t> gone(faces.size(), 0);
  bool flatFaces = false;
  for (std::size_t f = 0; f < faces.size(); ++f) {
    if (faces[f].size() < 3) {
      gone[f] = 1;
      changed = true;
    } else if (flat(pts, faces[f])) {
      flatFaces = true;
    }
  }
  if (!changed && !flatFaces && to.empty()) return std::nullopt;
  if (flatFaces) {
    std::unordered_map<std::uint64_t, std::uint32_t> edgeFace;  // directed edge -> face
    for (std::size_t f = 0; f < faces.size(); ++f) {
      if (gone[f]) continue;
      const Face& c = faces[f];
      for (std::size_t i = 0; i < c.size(); ++i) {
        edgeFace[directedKey(c[i], c[(i + 1) % c.size()])] = static_cast<std::uint32_t>(f);
      }
    }
    for (std::size_t f = 0; f < faces.size(); ++f) {
      if (gone[f] || faces[f].size() < 3 || !flat(pts, faces[f])) continue;
      Face& c = faces[f];
      const std::size_t n = c.size();
      // The longest edge runs between the corners furthest apart; every other corner lies on the
      // way back, in order.
      std::size_t lo = 0, hi = 0;
      for (std::size_t i = 1; i < n; ++i) {
        if (along(pts, c, c[i]) < along(pts, c, c[lo])) lo = i;
        if (along(pts, c, c[i]) > along(pts, c, c[hi])) hi = i;
      }
      if ((lo + 1) % n != hi && (hi + 1) % n != lo) continue;  // folded more than once
      const std::size_t u = (lo + 1) % n == hi ? lo : hi;      // the long edge u -> u+1
      const int from = c[u], toV = c[(u + 1) % n];
      const auto across = edgeFace.find(directedKey(toV, from));
      if (across == edgeFace.end()) {
        // The long edge is a border of an open surface: the face covers nothing, and goes.
        gone[f] = 1;
        changed = true;
        continue;
      }
      if (across->second == f) continue;
      Face path;  // from toV around to from, excluding both
      for (std::size_t k = 2; k < n; ++k) path.push_back(c[(u + k) % n]);
      Face& g = faces[across->second];
      const auto at = std::find(g.begin(), g.end(), toV);
      if (at == g.end()) continue;
      g.insert(at + 1, path.begin(), path.end());
      const Face& ng = g;
      for (std::size_t i = 0; i < ng.size(); ++i) {
        edgeFace[directedKey(ng[i], ng[(i + 1) % ng.size()])] = across->second;
      }
      gone[f] = 1;
      changed = true;
    }
    // A face folded onto itself more than once has no edge to hand its corners across. On a
    // surface that has a border anyway it covers nothing and goes (a closed one would be opened
    // by it, and is refused with the face named instead).
    bool border = false;
    for (const auto& [edge, f] : edgeFace) {
      const int u = static_cast<int>(edge >> 32), v = static_cast<int>(edge & 0xffffffffu);
      border = border || !edgeFace.contains(directedKey(v, u));
    }
    for (std::size_t f = 0; border && f < faces.size(); ++f) {
      if (gone[f] || faces[f].size() < 3 || !flat(pts, faces[f])) continue;
      gone[f] = 1;
      changed = true;
    }
  }
  if (!changed && to.empty()) return std::nullopt;
  ResolvedOperand r;
  std::vector<std::uint32_t> offsets{0};
  std::vector<int> corners;
  for (std::size_t f = 0; f < faces.size(); ++f) {
    if (gone[f]) continue;
    corners.insert(corners.end(), faces[f].begin(), faces[f].end());
    offsets.push_back(static_cast<std::uint32_t>(corners.size()));
    r.sourceFace.push_back(static_cast<std::uint32_t>(f));
  }
  r.mesh = Polyhedron(pts, std::move(offsets), std::move(corners));
  return r;
}

std::optional<ResolvedOperand> splitTouchingSheets(const Polyhedron& mesh,
                                                   const ResolvedOperand* from) {
  std::optional<Sheets> sheets =
      splitSheets(mesh.vertices(), mesh.offsets(), mesh.corners(), SplitAt::Everywhere);
  if (!sheets || sheets->sourceOf.empty()) return std::nullopt;
  std::vector<Vec3> points = mesh.vertices();
  ResolvedOperand r;
  r.sameVertex.resize(points.size() + sheets->sourceOf.size());
  for (std::size_t v = 0; v < points.size(); ++v) r.sameVertex[v] = static_cast<int>(v);
  for (std::size_t k = 0; k < sheets->sourceOf.size(); ++k) {
    const int v = sheets->sourceOf[k];
    r.sameVertex[points.size()] = v;
    points.push_back(points[v]);
  }
  r.mesh = Polyhedron(std::move(points), mesh.offsets(), std::move(sheets->corners));
  r.sourceFace = sourceFaces(mesh, from);
  return r;
}

std::optional<ResolvedOperand> splitPinchedVertices(const Polyhedron& mesh,
                                                    const ResolvedOperand* from) {
  // Corners are numbered as the mesh's corner array; the corner of each directed edge's start.
  const std::size_t nc = mesh.cornerCount();
  std::vector<std::uint32_t> faceOf(nc);
  std::unordered_map<std::uint64_t, std::uint32_t> leaving;  // (u, v) -> corner at u
  leaving.reserve(nc);
  bool border = false;
  for (std::size_t f = 0; f < mesh.faceCount(); ++f) {
    const auto c = mesh.face(f);
    const std::uint32_t first = mesh.offsets()[f];
    for (std::size_t i = 0; i < c.size(); ++i) {
      faceOf[first + i] = static_cast<std::uint32_t>(f);
      // An edge used twice in one direction is a fault of orientation, not a pinch: the operand
      // checks name it.
      if (!leaving
               .emplace(directedKey(c[i], c[(i + 1) % c.size()]),
                        first + static_cast<std::uint32_t>(i))
               .second) {
        return std::nullopt;
      }
    }
  }
  // Corners around one vertex are of one fan when their faces share an edge there: the corner at
  // u of edge u -> v, and the corner at u of the face that runs v -> u (its next corner).
  std::vector<std::uint32_t> fan(nc);
  for (std::uint32_t k = 0; k < nc; ++k) fan[k] = k;
  auto find = [&](std::uint32_t k) {
    while (fan[k] != k) k = fan[k] = fan[fan[k]];
    return k;
  };
  for (std::size_t f = 0; f < mesh.faceCount(); ++f) {
    const auto c = mesh.face(f);
    const std::uint32_t first = mesh.offsets()[f];
    for (std::size_t i = 0; i < c.size(); ++i) {
      const int u = c[i], v = c[(i + 1) % c.size()];
      const auto back = leaving.find(directedKey(v, u));
      if (back == leaving.end()) {
        border = true;
        continue;
      }
      const std::uint32_t g = faceOf[back->second];
      const std::uint32_t gFirst = mesh.offsets()[g];
      const std::uint32_t gSize = mesh.offsets()[g + 1] - gFirst;
      const std::uint32_t atU = gFirst + (back->second - gFirst + 1) % gSize;
      const std::uint32_t a = find(first + static_cast<std::uint32_t>(i)), b = find(atU);
      if (a != b) fan[std::max(a, b)] = std::min(a, b);
    }
  }
  if (!border) return std::nullopt;
  // The first fan met at a vertex keeps it; each further one gets a copy.
  std::vector<Vec3> points = mesh.vertices();
  std::vector<int> corners(mesh.corners().begin(), mesh.corners().end());
  std::vector<std::uint32_t> owner(points.size(), UINT32_MAX);
  std::unordered_map<std::uint32_t, int> copyOf;  // fan -> its vertex copy
  for (std::uint32_t k = 0; k < nc; ++k) {
    const int v = corners[k];
    const std::uint32_t r = find(k);
    if (owner[v] == UINT32_MAX) owner[v] = r;
    if (owner[v] == r) continue;
    auto [it, added] = copyOf.try_emplace(r, static_cast<int>(points.size()));
    if (added) points.push_back(points[v]);
    corners[k] = it->second;
  }
  if (copyOf.empty()) return std::nullopt;
  ResolvedOperand r;
  r.mesh = Polyhedron(std::move(points), mesh.offsets(), std::move(corners));
  r.sourceFace = sourceFaces(mesh, from);
  return r;
}

std::optional<ResolvedOperand> splitCrowdedEdges(const Polyhedron& mesh,
                                                 const ResolvedOperand* from) {
  std::vector<Vec3> points = mesh.vertices();
  const std::unordered_map<std::uint64_t, int> middle = middlesOfCrowdedEdges(
      mesh.faceCount(), [&](std::size_t f) { return mesh.face(f); }, points);
  if (middle.empty()) return std::nullopt;
  std::vector<std::uint32_t> offsets{0};
  std::vector<int> corners;
  for (std::size_t f = 0; f < mesh.faceCount(); ++f) {
    const auto c = mesh.face(f);
    for (std::size_t i = 0; i < c.size(); ++i) {
      const int u = c[i], v = c[(i + 1) % c.size()];
      corners.push_back(u);
      const auto at = middle.find(directedKey(std::min(u, v), std::max(u, v)));
      if (at != middle.end()) corners.push_back(at->second);
    }
    offsets.push_back(static_cast<std::uint32_t>(corners.size()));
  }
  ResolvedOperand r;
  r.mesh = Polyhedron(std::move(points), std::move(offsets), std::move(corners));
  r.sourceFace = sourceFaces(mesh, from);
  return r;
}

}  // namespace geom::csg
