#include "geom/csg/operand_check.h"
#include "geom/csg/self_intersection.h"

#include <algorithm>
#include <span>

#include "geom/triangulator.h"

namespace geom::csg {

namespace {

bool reversedTwins(const std::array<int, 3>& a, const std::array<int, 3>& b) {
  for (int k = 0; k < 3; ++k) {
    if (a[0] == b[k] && a[1] == b[(k + 2) % 3] && a[2] == b[(k + 1) % 3]) return true;
  }
  return false;
}

}  // namespace

// Faces that would not make valid operand faces, or whose triangles would meet others or share
// an edge with two others: what prepareOperand does with a face (geom::Triangulator over its
// corners in order) is done here for every face with an intersection point and for the faces
// around those, and their triangles are tested as prepareOperand and checkSelfIntersections
// would. Faces elsewhere are operand faces as
// they were. (Surfaces that come within rounding of each other without sharing a vertex are
// not looked for.)
Verdict judge(const Keys& keys, const Pending& p) {
  const std::size_t faces = p.origins.size();
  std::vector<std::uint8_t> cut(faces, 0), around(keys.count, 0);
  for (std::size_t f = 0; f < faces; ++f) {
    cut[f] = isCutFace(keys, p, f);
    if (!cut[f]) continue;
    for (std::uint32_t i = p.offsets[f]; i < p.offsets[f + 1]; ++i) around[p.corners[i]] = 1;
  }
  Verdict v;
  std::vector<std::uint8_t> fresh;
  std::vector<Vec3> polygon;
  std::vector<Triangulator::Triangle> local;
  for (std::size_t f = 0; f < faces; ++f) {
    const std::uint32_t b = p.offsets[f], n = p.offsets[f + 1] - b;
    if (!cut[f]) {
      bool near = false;
      for (std::uint32_t i = 0; i < n && !near; ++i) near = around[p.corners[b + i]] != 0;
      if (!near) continue;
    }
    polygon.clear();
    for (std::uint32_t i = 0; i < n; ++i) polygon.push_back(keys.position[p.corners[b + i]]);
    local.clear();
    if (!Triangulator::triangulate(polygon, local)) {
      if (cut[f]) v.bad.push_back(static_cast<std::uint32_t>(f));
      continue;
    }
    for (const auto& t : local) {
      v.tris.push_back({p.corners[b + t[0]], p.corners[b + t[1]], p.corners[b + t[2]]});
      v.triFace.push_back(static_cast<std::uint32_t>(f));
      std::uint8_t diagonals = 0;
      for (int k = 0; k < 3; ++k) {
        const std::uint32_t d = (t[(k + 1) % 3] + n - t[k]) % n;
        if (d != 1 && d != n - 1) diagonals |= static_cast<std::uint8_t>(1u << k);
      }
      v.diagonals.push_back(diagonals);
      fresh.push_back(cut[f]);
    }
  }
  // A diagonal that is an edge of another face too, or another face's diagonal: the edge
  // has more than two triangles (two faces along a shared run of corners both cut across it,
  // for one). Edges of several faces that are edges of them all are the result's own, where
  // it touches itself.
  {
    std::vector<std::pair<std::uint64_t, std::uint32_t>> uses;  // (edge, 2 * triangle + diagonal)
    uses.reserve(3 * v.tris.size());
    for (std::size_t t = 0; t < v.tris.size(); ++t) {
      for (int k = 0; k < 3; ++k) {
        const int x = v.tris[t][k], y = v.tris[t][(k + 1) % 3];
        const bool diagonal = (v.diagonals[t] >> k) & 1u;
        uses.emplace_back(directedKey(std::min(x, y), std::max(x, y)),
                          static_cast<std::uint32_t>(2 * t + (diagonal ? 1 : 0)));
      }
    }
    std::sort(uses.begin(), uses.end());
    for (std::size_t i = 0; i < uses.size();) {
      std::size_t j = i + 1;
      bool diagonal = (uses[i].second & 1u) != 0;
      for (; j < uses.size() && uses[j].first == uses[i].first; ++j) {
        if (uses[j].second & 1u) diagonal = true;
      }
      if (j - i > 2 && diagonal) {
        for (std::size_t k = i; k < j; ++k) {
          const std::uint32_t t = uses[k].second / 2;
          if (fresh[t]) v.bad.push_back(v.triFace[t]);
        }
      }
      i = j;
    }
  }
  v.cancelled.assign(v.tris.size(), 0);
  meetingTriangles(keys.position, v.tris, fresh, v.triFace, [&](std::size_t t1, std::size_t t2) {
    if (reversedTwins(v.tris[t1], v.tris[t2]) && !v.cancelled[t1] && !v.cancelled[t2]) {
      v.cancelled[t1] = v.cancelled[t2] = 1;
      v.twinFaces.push_back(v.triFace[t1]);
      v.twinFaces.push_back(v.triFace[t2]);
      return;
    }
    for (const std::size_t t : {t1, t2}) {
      if (fresh[t]) v.bad.push_back(v.triFace[t]);
    }
  });
  for (std::vector<std::uint32_t>* list : {&v.bad, &v.twinFaces}) {
    std::sort(list->begin(), list->end());
    list->erase(std::unique(list->begin(), list->end()), list->end());
  }
  return v;
}

// Replaces each face with cancelled triangles by its other triangles. Removing two triangles
// over the same corners wound opposite ways keeps the surface closed: along each of their
// edges, the faces beyond now meet each other.
void cancelTwinTriangles(const Verdict& v, Pending& p) {
  std::vector<std::uint8_t> twin(p.origins.size(), 0);
  for (const std::uint32_t f : v.twinFaces) twin[f] = 1;
  Pending out;
  out.corners.reserve(p.corners.size());
  std::size_t t = 0;
  for (std::size_t f = 0; f < p.origins.size(); ++f) {
    while (t < v.triFace.size() && v.triFace[t] < f) ++t;
    if (!twin[f]) {
      out.add(std::span<const int>(p.corners.data() + p.offsets[f],
                                   p.corners.data() + p.offsets[f + 1]),
              p.origins[f]);
      continue;
    }
    for (; t < v.triFace.size() && v.triFace[t] == f; ++t) {
      if (!v.cancelled[t]) out.add(v.tris[t], p.origins[f]);
    }
  }
  p = std::move(out);
}

}  // namespace geom::csg
