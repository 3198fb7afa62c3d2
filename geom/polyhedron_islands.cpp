// The island analysis of a Polyhedron: half-edge pairing, manifold edges, islands, and which
// islands are closed and turned inside out.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "geom/polyhedron.h"

namespace geom {
namespace {

// Newell's normal: robust for non-planar and non-convex polygons, zero for degenerate ones.
Vec3 newellNormal(const std::vector<Vec3>& v, std::span<const int> f) {
  Vec3 n;
  for (std::size_t i = 0; i < f.size(); ++i) {
    const Vec3& a = v[static_cast<std::size_t>(f[i])];
    const Vec3& b = v[static_cast<std::size_t>(f[(i + 1) % f.size()])];
    n.x += (a.y - b.y) * (a.z + b.z);
    n.y += (a.z - b.z) * (a.x + b.x);
    n.z += (a.x - b.x) * (a.y + b.y);
  }
  return n;
}

// Union-find whose root is always the lowest face index of its set, so that islands can be
// numbered in order of their lowest face by one forward pass.
class LowestRootSets {
 public:
  explicit LowestRootSets(std::size_t n) : parent_(n) {
    std::iota(parent_.begin(), parent_.end(), 0u);
  }
  std::uint32_t find(std::uint32_t x) {
    while (parent_[x] != x) {
      parent_[x] = parent_[parent_[x]];
      x = parent_[x];
    }
    return x;
  }
  void unite(std::uint32_t a, std::uint32_t b) {
    a = find(a);
    b = find(b);
    if (a == b) return;
    if (a < b) std::swap(a, b);
    parent_[a] = b;
  }

 private:
  std::vector<std::uint32_t> parent_;
};

}  // namespace

void Polyhedron::computeManifolds() const {
  const std::size_t nf = faceCount();
  const std::size_t nv = vertices_.size();
  const std::size_t nh = corners_.size();

  // Every half-edge h (the corner it starts at) is bucketed under the lower of its two end
  // vertices; a counting sort keeps this linear in the number of corners.
  std::vector<std::uint32_t> faceOf(nh);
  for (std::uint32_t f = 0; f < nf; ++f) {
    std::fill(faceOf.begin() + offsets_[f], faceOf.begin() + offsets_[f + 1], f);
  }
  auto head = [&](std::uint32_t h) -> int {
    const std::uint32_t f = faceOf[h];
    const std::uint32_t next = (h + 1 == offsets_[f + 1]) ? offsets_[f] : h + 1;
    return corners_[next];
  };

  std::vector<char> open(nf, 0);
  std::vector<std::uint32_t> start(nv + 1, 0);
  for (std::uint32_t h = 0; h < nh; ++h) {
    const int a = corners_[h], b = head(h);
    if (a == b) continue;  // a repeated vertex is no edge; it leaves the face open below
    ++start[static_cast<std::size_t>(std::min(a, b)) + 1];
  }
  for (std::size_t v = 0; v < nv; ++v) start[v + 1] += start[v];
  struct Entry {
    int hi;
    std::uint32_t h;
  };
  // Each bucket ordered by upper end, then half-edge: a stable counting sort by the upper end
  // first, whose order the placement by the lower end keeps (no sort per vertex).
  std::vector<Entry> entries(start[nv]);
  {
    std::vector<std::uint32_t> byUpper(nv + 1, 0), order(start[nv]);
    for (std::uint32_t h = 0; h < nh; ++h) {
      const int a = corners_[h], b = head(h);
      if (a != b) ++byUpper[static_cast<std::size_t>(std::max(a, b)) + 1];
    }
    for (std::size_t v = 0; v < nv; ++v) byUpper[v + 1] += byUpper[v];
    for (std::uint32_t h = 0; h < nh; ++h) {
      const int a = corners_[h], b = head(h);
      if (a == b) {
        open[faceOf[h]] = 1;
        continue;
      }
      order[byUpper[static_cast<std::size_t>(std::max(a, b))]++] = h;
    }
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
    for (const std::uint32_t h : order) {
      const int a = corners_[h], b = head(h);
      entries[fill[static_cast<std::size_t>(std::min(a, b))]++] = {std::max(a, b), h};
    }
  }

  LowestRootSets sets(nf);
  std::vector<Vec3> normals;  // computed lazily, only for edges shared by more than two faces
  std::vector<char> haveNormal;
  auto pairIfOpposite = [&](std::uint32_t h1, std::uint32_t h2) {
    const std::uint32_t f1 = faceOf[h1], f2 = faceOf[h2];
    if (f1 != f2 && corners_[h1] != corners_[h2]) {
      sets.unite(f1, f2);
      return true;
    }
    return false;
  };

  struct Around {
    double angle;
    std::uint32_t h;
    bool forward;
  };
  std::vector<Around> around;
  for (std::size_t lo = 0; lo < nv; ++lo) {
    Entry* first = entries.data() + start[lo];
    Entry* last = entries.data() + start[lo + 1];
    for (Entry* g = first; g != last;) {
      Entry* ge = g;
      while (ge != last && ge->hi == g->hi) ++ge;
      const std::size_t count = static_cast<std::size_t>(ge - g);
      if (count == 1) {
        open[faceOf[g->h]] = 1;
      } else if (count == 2) {
        if (!pairIfOpposite(g[0].h, g[1].h)) {
          open[faceOf[g[0].h]] = 1;
          open[faceOf[g[1].h]] = 1;
        }
      } else {
        // Order the faces around the edge. A face's interior side is reached by turning from
        // the face into the solid, clockwise about its own edge direction; its mate is the
        // first face met that way, provided that face runs the edge the other way.
        if (normals.empty()) {
          normals.resize(nf);
          haveNormal.assign(nf, 0);
        }
        const Vec3 p0 = vertices_[lo];
        const Vec3 axis = vertices_[static_cast<std::size_t>(g->hi)] - p0;
        const double len = length(axis);
        const Vec3 e = len > 0 ? axis * (1.0 / len) : Vec3{1, 0, 0};
        const Vec3 ref = std::fabs(e.x) < 0.9 ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
        Vec3 u = cross(e, ref);
        u = u * (1.0 / length(u));
        const Vec3 w = cross(e, u);
        around.clear();
        for (Entry* it = g; it != ge; ++it) {
          const std::uint32_t f = faceOf[it->h];
          if (!haveNormal[f]) {
            normals[f] = newellNormal(vertices_, face(f));
            haveNormal[f] = 1;
          }
          const bool forward = corners_[it->h] == static_cast<int>(lo);
          const Vec3 t = cross(normals[f], forward ? e : e * -1.0);
          around.push_back({std::atan2(dot(t, w), dot(t, u)), it->h, forward});
        }
        std::sort(around.begin(), around.end(), [](const Around& x, const Around& y) {
          return x.angle != y.angle ? x.angle < y.angle : x.h < y.h;
        });
        const std::size_t m = around.size();
        for (std::size_t k = 0; k < m; ++k) {
          const Around& me = around[k];
          const Around& other = me.forward ? around[(k + m - 1) % m] : around[(k + 1) % m];
          if (other.forward == me.forward || faceOf[other.h] == faceOf[me.h]) {
            open[faceOf[me.h]] = 1;
          } else {
            sets.unite(faceOf[me.h], faceOf[other.h]);
          }
        }
      }
      g = ge;
    }
  }

  Islands is;
  is.manifoldId.assign(nf, 0);
  std::vector<int> idOfRoot(nf, -1);
  for (std::uint32_t f = 0; f < nf; ++f) {
    const std::uint32_t r = sets.find(f);
    if (idOfRoot[r] < 0) {
      idOfRoot[r] = static_cast<int>(is.closed.size());
      is.closed.push_back(true);
    }
    is.manifoldId[f] = idOfRoot[r];
    if (open[f]) is.closed[static_cast<std::size_t>(idOfRoot[r])] = false;
  }

  // Signed volume per island, taken about the box centre to keep the products small.
  const Vec3 c = aabb().pos;
  std::vector<double> volume(is.closed.size(), 0.0);
  for (std::size_t f = 0; f < nf; ++f) {
    const std::size_t m = static_cast<std::size_t>(is.manifoldId[f]);
    if (!is.closed[m]) continue;
    const std::span<const int> fv = face(f);
    const Vec3 a = vertices_[static_cast<std::size_t>(fv[0])] - c;
    for (std::size_t i = 1; i + 1 < fv.size(); ++i) {
      const Vec3 b = vertices_[static_cast<std::size_t>(fv[i])] - c;
      const Vec3 d = vertices_[static_cast<std::size_t>(fv[i + 1])] - c;
      volume[m] += dot(a, cross(b, d));
    }
  }
  is.negative.resize(is.closed.size());
  for (std::size_t m = 0; m < is.closed.size(); ++m)
    is.negative[m] = is.closed[m] && volume[m] < 0.0;
  is.known = true;
  islands_ = std::move(is);
}

}  // namespace geom
