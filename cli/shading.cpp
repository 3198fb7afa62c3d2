#include "cli/shading.h"

#include <cmath>
#include <numbers>
#include <numeric>
#include <unordered_map>

namespace cli {
namespace {

class UnionFind {
 public:
  explicit UnionFind(std::size_t n) : parent_(n) { std::iota(parent_.begin(), parent_.end(), 0u); }
  std::uint32_t find(std::uint32_t x) {
    while (parent_[x] != x) x = parent_[x] = parent_[parent_[x]];
    return x;
  }
  void join(std::uint32_t a, std::uint32_t b) {
    a = find(a), b = find(b);
    if (a != b) parent_[std::max(a, b)] = std::min(a, b);
  }

 private:
  std::vector<std::uint32_t> parent_;
};

geom::Vec3 newell(const ResultMesh& r, std::size_t f) {
  geom::Vec3 n;
  const auto& face = r.faces[f];
  for (std::size_t k = 0; k < face.size(); ++k) {
    const auto& a = r.points[static_cast<std::size_t>(face[k])];
    const auto& b = r.points[static_cast<std::size_t>(face[(k + 1) % face.size()])];
    n.x += (double{a[1]} - b[1]) * (double{a[2]} + b[2]);
    n.y += (double{a[2]} - b[2]) * (double{a[0]} + b[0]);
    n.z += (double{a[0]} - b[0]) * (double{a[1]} + b[1]);
  }
  return n;
}

geom::Vec3 unit(const geom::Vec3& v, const geom::Vec3& fallback) {
  const double l = geom::length(v);
  return l > 0 && std::isfinite(l) ? v * (1.0 / l) : fallback;
}

// One use of an undirected edge: the corners of the face at its lower and higher point.
struct EdgeUse {
  std::uint32_t lo, hi;
  std::size_t face;
};

}  // namespace

Shading shade(const ResultMesh& r, double sharpAngleDegrees) {
  Shading s;
  const std::size_t nf = r.faces.size();
  const std::size_t corners = r.firstCorner.back();
  s.triangles.resize(nf);
  s.faceNormals.resize(nf);
  std::vector<geom::Vec3> weighted(nf);
  std::vector<geom::Vec3> pos;
  for (std::size_t f = 0; f < nf; ++f) {
    weighted[f] = newell(r, f);
    s.faceNormals[f] = unit(weighted[f], {0, 0, 1});
    const auto& face = r.faces[f];
    if (face.size() < 3) continue;
    bool finite = true;
    for (int v : face) {
      for (float c : r.points[static_cast<std::size_t>(v)]) finite = finite && std::isfinite(c);
    }
    if (!finite) continue;
    if (face.size() == 3) {
      s.triangles[f].push_back({0, 1, 2});
      continue;
    }
    pos.clear();
    for (int v : face) {
      const auto& p = r.points[static_cast<std::size_t>(v)];
      pos.push_back({p[0], p[1], p[2]});
    }
    geom::Triangulator::triangulateAlways(pos, s.triangles[f]);
  }

  UnionFind groups(corners);
  if (sharpAngleDegrees > 0) {
    const double cosLimit = std::cos(sharpAngleDegrees * std::numbers::pi / 180.0);
    std::unordered_map<std::uint64_t, std::vector<EdgeUse>> edges;
    for (std::size_t f = 0; f < nf; ++f) {
      const auto& face = r.faces[f];
      for (std::size_t k = 0; k < face.size(); ++k) {
        const std::size_t k2 = (k + 1) % face.size();
        const auto a = static_cast<std::uint32_t>(face[k]),
                   b = static_cast<std::uint32_t>(face[k2]);
        if (a == b) continue;
        const std::uint32_t ca = r.firstCorner[f] + static_cast<std::uint32_t>(k);
        const std::uint32_t cb = r.firstCorner[f] + static_cast<std::uint32_t>(k2);
        const std::uint64_t key = (std::uint64_t{std::min(a, b)} << 32) | std::max(a, b);
        edges[key].push_back(a < b ? EdgeUse{ca, cb, f} : EdgeUse{cb, ca, f});
      }
    }
    for (const auto& [key, uses] : edges) {
      if (uses.size() != 2) continue;
      if (geom::dot(s.faceNormals[uses[0].face], s.faceNormals[uses[1].face]) < cosLimit) continue;
      groups.join(uses[0].lo, uses[1].lo);
      groups.join(uses[0].hi, uses[1].hi);
    }
  }

  std::vector<geom::Vec3> sum(corners);
  s.smoothGroup.resize(corners);
  for (std::size_t f = 0; f < nf; ++f) {
    for (std::uint32_t c = r.firstCorner[f]; c < r.firstCorner[f + 1]; ++c) {
      s.smoothGroup[c] = groups.find(c);
      sum[s.smoothGroup[c]] = sum[s.smoothGroup[c]] + weighted[f];
    }
  }
  s.cornerNormals.resize(corners);
  for (std::size_t f = 0; f < nf; ++f) {
    for (std::uint32_t c = r.firstCorner[f]; c < r.firstCorner[f + 1]; ++c)
      s.cornerNormals[c] = unit(sum[s.smoothGroup[c]], s.faceNormals[f]);
  }
  return s;
}

}  // namespace cli
