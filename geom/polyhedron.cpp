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
      islands_(o.islands_) {}

Polyhedron::Polyhedron(Polyhedron&& o) noexcept
    : id_(std::exchange(o.id_, nextId())),
      vertices_(std::move(o.vertices_)),
      offsets_(std::move(o.offsets_)),
      corners_(std::move(o.corners_)),
      islands_(std::exchange(o.islands_, {})) {}

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
    islands_ = std::exchange(o.islands_, {});
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
  forgetIslands();
}

void Polyhedron::moveSimilar(const std::function<Vec3(const Vec3&)>& fn) {
  for (Vec3& v : vertices_) v = fn(v);
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
  forgetIslands();
}

}  // namespace geom
