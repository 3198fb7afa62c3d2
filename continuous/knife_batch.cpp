#include "continuous/knife_batch.h"

#include <algorithm>

namespace tsl::continuous {

namespace {

// Strictly apart along an axis: the boxes of the points, so the solids cannot touch either.
template <typename Box>
bool apart(const Box& a, const Box& b) {
  return a.hi.x < b.lo.x || b.hi.x < a.lo.x || a.hi.y < b.lo.y || b.hi.y < a.lo.y ||
         a.hi.z < b.lo.z || b.hi.z < a.lo.z;
}

}  // namespace

KnifeBatch::Box KnifeBatch::boxOf(const geom::Polyhedron& k) {
  if (k.vertexCount() == 0) return {{0, 0, 0}, {0, 0, 0}};
  Box box{k.vertices()[0], k.vertices()[0]};
  for (const geom::Vec3& p : k.vertices()) {
    box.lo = {std::min(box.lo.x, p.x), std::min(box.lo.y, p.y), std::min(box.lo.z, p.z)};
    box.hi = {std::max(box.hi.x, p.x), std::max(box.hi.y, p.y), std::max(box.hi.z, p.z)};
  }
  return box;
}

bool KnifeBatch::apartFrom(const geom::Polyhedron& k) const {
  if (knives_.size() >= kMostInstances) return false;
  if (k.vertexCount() == 0) return true;
  const Box box = boxOf(k);
  return std::all_of(boxes_.begin(), boxes_.end(), [&](const Box& b) { return apart(b, box); });
}

void KnifeBatch::add(std::unique_ptr<geom::Polyhedron> k) {
  boxes_.push_back(boxOf(*k));
  knives_.push_back(std::move(k));
  joined_.reset();
}

const geom::Polyhedron& KnifeBatch::joined() {
  if (joined_) return *joined_;
  std::vector<geom::Vec3> points;
  std::vector<int> faces;
  std::size_t faceCount = 0;
  for (const auto& k : knives_) {
    const int base = static_cast<int>(points.size());
    points.insert(points.end(), k->vertices().begin(), k->vertices().end());
    for (std::size_t f = 0; f < k->faceCount(); ++f) {
      faces.push_back(static_cast<int>(k->face(f).size()));
      for (const int v : k->face(f)) faces.push_back(base + v);
    }
    faceCount += k->faceCount();
  }
  joined_.emplace(std::move(points), faceCount, faces);
  return *joined_;
}

void KnifeBatch::clear() {
  knives_.clear();
  boxes_.clear();
  joined_.reset();
}

}  // namespace tsl::continuous
