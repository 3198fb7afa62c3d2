#include "geom/polyhedron.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numeric>
#include <string>
#include <utility>

#include "geom/error.h"

namespace geom {
namespace {

std::uint64_t nextId() {
  static std::atomic<std::uint64_t> counter{1};
  return counter.fetch_add(1, std::memory_order_relaxed);
}

[[noreturn]] void badIndex(std::size_t face, long long value, std::size_t points) {
  throw Error("face " + std::to_string(face) + ": vertex index " + std::to_string(value) +
              " is out of range (the mesh has " + std::to_string(points) + " points)");
}

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

void PolyhedronData::addFace(std::span<const int> indices) {
  faceIndices.push_back(static_cast<int>(indices.size()));
  faceIndices.insert(faceIndices.end(), indices.begin(), indices.end());
  ++faceCount;
}

Polyhedron::Polyhedron() : id_(nextId()) {}

Polyhedron::Polyhedron(const Polyhedron& o)
    : id_(nextId()),
      vertices_(o.vertices_),
      offsets_(o.offsets_),
      corners_(o.corners_),
      manifoldId_(o.manifoldId_),
      closed_(o.closed_),
      negative_(o.negative_) {}

Polyhedron::Polyhedron(Polyhedron&& o) noexcept
    : id_(std::exchange(o.id_, nextId())),
      vertices_(std::move(o.vertices_)),
      offsets_(std::move(o.offsets_)),
      corners_(std::move(o.corners_)),
      manifoldId_(std::move(o.manifoldId_)),
      closed_(std::move(o.closed_)),
      negative_(std::move(o.negative_)) {}

Polyhedron& Polyhedron::operator=(const Polyhedron& o) {
  if (this != &o) {
    Polyhedron copy(o);
    *this = std::move(copy);
  }
  return *this;
}

Polyhedron& Polyhedron::operator=(Polyhedron&& o) noexcept {
  if (this != &o) {
    id_ = std::exchange(o.id_, nextId());
    vertices_ = std::move(o.vertices_);
    offsets_ = std::move(o.offsets_);
    corners_ = std::move(o.corners_);
    manifoldId_ = std::move(o.manifoldId_);
    closed_ = std::move(o.closed_);
    negative_ = std::move(o.negative_);
  }
  return *this;
}

Polyhedron::Polyhedron(std::vector<Vec3> points, std::size_t face_count,
                       std::span<const int> face_indices)
    : id_(nextId()), vertices_(std::move(points)) {
  const std::size_t nv = vertices_.size();
  const std::size_t total = face_indices.size();
  if (face_count > total) {
    throw Error("the face-index list holds fewer than the " + std::to_string(face_count) +
                " faces it announces");
  }
  offsets_.reserve(face_count + 1);
  corners_.reserve(total - std::min(total, face_count));
  offsets_.push_back(0);
  std::size_t pos = 0;
  for (std::size_t f = 0; f < face_count; ++f) {
    if (pos >= total) {
      throw Error("the face-index list ends before face " + std::to_string(f));
    }
    const int n = face_indices[pos++];
    if (n <= 0) {
      throw Error("face " + std::to_string(f) + " has no vertices");
    }
    if (static_cast<std::size_t>(n) > total - pos) {
      throw Error("face " + std::to_string(f) + " announces " + std::to_string(n) +
                  " vertices but the face-index list ends earlier");
    }
    for (int k = 0; k < n; ++k) {
      const int idx = face_indices[pos++];
      if (idx < 0 || static_cast<std::size_t>(idx) >= nv) badIndex(f, idx, nv);
      corners_.push_back(idx);
    }
    if (corners_.size() > UINT32_MAX) throw Error("the mesh has too many face corners");
    offsets_.push_back(static_cast<std::uint32_t>(corners_.size()));
  }
  if (pos != total) {
    throw Error("the face-index list holds more than the " + std::to_string(face_count) +
                " faces it announces");
  }
  computeManifolds();
}

Polyhedron::Polyhedron(std::vector<Vec3> points, std::vector<std::uint32_t> offsets,
                       std::vector<int> corners)
    : id_(nextId()),
      vertices_(std::move(points)),
      offsets_(std::move(offsets)),
      corners_(std::move(corners)) {
  if (offsets_.empty()) offsets_.push_back(0);
  if (offsets_.front() != 0 || offsets_.back() != corners_.size()) {
    throw Error("face offsets do not cover the corner list");
  }
  for (std::size_t f = 0; f + 1 < offsets_.size(); ++f) {
    if (offsets_[f + 1] <= offsets_[f])
      throw Error("face " + std::to_string(f) + " has no vertices");
    for (std::uint32_t c = offsets_[f]; c < offsets_[f + 1]; ++c) {
      const int idx = corners_[c];
      if (idx < 0 || static_cast<std::size_t>(idx) >= vertices_.size()) {
        badIndex(f, idx, vertices_.size());
      }
    }
  }
  computeManifolds();
}

void Polyhedron::computeManifolds() {
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
  std::vector<Entry> entries(start[nv]);
  {
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
    for (std::uint32_t h = 0; h < nh; ++h) {
      const int a = corners_[h], b = head(h);
      if (a == b) {
        open[faceOf[h]] = 1;
        continue;
      }
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
    std::sort(first, last, [](const Entry& x, const Entry& y) {
      return x.hi != y.hi ? x.hi < y.hi : x.h < y.h;
    });
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

  manifoldId_.assign(nf, 0);
  closed_.clear();
  negative_.clear();
  std::vector<int> idOfRoot(nf, -1);
  for (std::uint32_t f = 0; f < nf; ++f) {
    const std::uint32_t r = sets.find(f);
    if (idOfRoot[r] < 0) {
      idOfRoot[r] = static_cast<int>(closed_.size());
      closed_.push_back(true);
    }
    manifoldId_[f] = idOfRoot[r];
    if (open[f]) closed_[static_cast<std::size_t>(idOfRoot[r])] = false;
  }

  // Signed volume per island, taken about the box centre to keep the products small.
  const Vec3 c = aabb().pos;
  std::vector<double> volume(closed_.size(), 0.0);
  for (std::size_t f = 0; f < nf; ++f) {
    const std::size_t m = static_cast<std::size_t>(manifoldId_[f]);
    if (!closed_[m]) continue;
    const std::span<const int> fv = face(f);
    const Vec3 a = vertices_[static_cast<std::size_t>(fv[0])] - c;
    for (std::size_t i = 1; i + 1 < fv.size(); ++i) {
      const Vec3 b = vertices_[static_cast<std::size_t>(fv[i])] - c;
      const Vec3 d = vertices_[static_cast<std::size_t>(fv[i + 1])] - c;
      volume[m] += dot(a, cross(b, d));
    }
  }
  negative_.resize(closed_.size());
  for (std::size_t m = 0; m < closed_.size(); ++m) negative_[m] = closed_[m] && volume[m] < 0.0;
}

AABB Polyhedron::aabb() const {
  if (vertices_.empty()) return {};
  Vec3 lo = vertices_.front(), hi = vertices_.front();
  for (const Vec3& v : vertices_) {
    lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
    hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
  }
  return {(lo + hi) * 0.5, (hi - lo) * 0.5};
}

Polyhedron Polyhedron::subMesh(std::span<const std::size_t> faces) const {
  std::vector<int> remap(vertices_.size(), -1);
  std::vector<Vec3> points;
  std::vector<std::uint32_t> offsets{0};
  std::vector<int> corners;
  offsets.reserve(faces.size() + 1);
  for (std::size_t f : faces) {
    for (int v : face(f)) {
      int& to = remap[static_cast<std::size_t>(v)];
      if (to < 0) {
        to = static_cast<int>(points.size());
        points.push_back(vertices_[static_cast<std::size_t>(v)]);
      }
      corners.push_back(to);
    }
    offsets.push_back(static_cast<std::uint32_t>(corners.size()));
  }
  return Polyhedron(std::move(points), std::move(offsets), std::move(corners));
}

void Polyhedron::transform(const std::function<Vec3(const Vec3&)>& fn) {
  for (Vec3& v : vertices_) v = fn(v);
  computeManifolds();
}

void Polyhedron::canonicalize() {
  const std::size_t nv = vertices_.size();
  std::vector<std::uint32_t> order(nv);
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const Vec3& p = vertices_[a];
    const Vec3& q = vertices_[b];
    if (p.x != q.x) return p.x < q.x;
    if (p.y != q.y) return p.y < q.y;
    return p.z < q.z;
  });
  std::vector<int> newIndex(nv);
  std::vector<Vec3> sorted(nv);
  for (std::size_t i = 0; i < nv; ++i) {
    newIndex[order[i]] = static_cast<int>(i);
    sorted[i] = vertices_[order[i]];
  }

  const std::size_t nf = faceCount();
  std::vector<int> rotated(corners_.size());
  for (std::size_t f = 0; f < nf; ++f) {
    const std::uint32_t b = offsets_[f], e = offsets_[f + 1];
    for (std::uint32_t c = b; c < e; ++c)
      rotated[c] = newIndex[static_cast<std::size_t>(corners_[c])];
    std::rotate(rotated.begin() + b, std::min_element(rotated.begin() + b, rotated.begin() + e),
                rotated.begin() + e);
  }
  std::vector<std::uint32_t> faceOrder(nf);
  std::iota(faceOrder.begin(), faceOrder.end(), 0u);
  std::stable_sort(faceOrder.begin(), faceOrder.end(), [&](std::uint32_t a, std::uint32_t b) {
    return std::lexicographical_compare(
        rotated.begin() + offsets_[a], rotated.begin() + offsets_[a + 1],
        rotated.begin() + offsets_[b], rotated.begin() + offsets_[b + 1]);
  });
  std::vector<std::uint32_t> offsets{0};
  offsets.reserve(nf + 1);
  std::vector<int> corners;
  corners.reserve(corners_.size());
  for (std::uint32_t f : faceOrder) {
    corners.insert(corners.end(), rotated.begin() + offsets_[f], rotated.begin() + offsets_[f + 1]);
    offsets.push_back(static_cast<std::uint32_t>(corners.size()));
  }
  vertices_ = std::move(sorted);
  offsets_ = std::move(offsets);
  corners_ = std::move(corners);
  computeManifolds();
}

}  // namespace geom
