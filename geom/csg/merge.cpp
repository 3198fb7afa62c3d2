#include "geom/csg/merge.h"

#include <bit>

namespace geom::csg {

FaceMerger::FaceMerger(const CorefinedMesh& mesh, const std::vector<std::uint8_t>& blocked)
    : m_(mesh),
      blocked_(blocked),
      groupOf_(mesh.faceCount(), -1),
      regionOf_(mesh.faceCount(), -1),
      boundaryOf_(mesh.points.size(), -1),
      next_(mesh.points.size(), -1) {}

bool FaceMerger::tryAdd(int f, int region) {
  unsigned shared = 0;
  for (int k = 0; k < 3; ++k) {
    const int h = 3 * f + k;
    if (m_.opposite[h] < 0) continue;
    const int g = m_.opposite[h] / 3;
    if (groupOf_[g] != stamp_ || regionOf_[g] != region) continue;
    if (blocked_[h]) return false;  // would leave a slit inside the polygon
    shared |= 1u << k;
  }
  const auto& t = m_.faces[f];
  switch (std::popcount(shared)) {
    case 1: {
      const int k = std::countr_zero(shared);
      const int apex = t[(k + 2) % 3];
      if (boundaryOf_[apex] == region) return false;  // would pinch the boundary
      boundaryOf_[apex] = region;
      break;
    }
    case 2: {
      const int open = std::countr_zero(~shared & 7u);
      boundaryOf_[t[(open + 2) % 3]] = -1;  // now surrounded
      break;
    }
    default:
      return false;
  }
  regionOf_[f] = region;
  return true;
}

void FaceMerger::emitLoop(std::span<const int> members, int region, std::vector<int>& loops,
                          std::vector<std::uint32_t>& ends) {
  int start = -1;
  std::size_t boundary = 0;
  for (int f : members) {
    if (regionOf_[f] != region) continue;
    for (int k = 0; k < 3; ++k) {
      const int o = m_.opposite[3 * f + k];
      if (o >= 0 && groupOf_[o / 3] == stamp_ && regionOf_[o / 3] == region) continue;
      const int u = m_.faces[f][k];
      next_[u] = m_.faces[f][(k + 1) % 3];
      if (start < 0) start = u;
      ++boundary;
    }
  }
  const std::size_t mark = loops.size();
  int v = start;
  for (std::size_t i = 0; i < boundary; ++i) {
    loops.push_back(v);
    v = next_[v];
    if (v == start) break;
  }
  if (loops.size() - mark == boundary && v == start) {
    ends.push_back(static_cast<std::uint32_t>(loops.size()));
    return;
  }
  // Not a single simple loop (cannot happen for a region grown as above): keep the triangles.
  loops.resize(mark);
  for (int f : members) {
    if (regionOf_[f] != region) continue;
    for (int k = 0; k < 3; ++k) loops.push_back(m_.faces[f][k]);
    ends.push_back(static_cast<std::uint32_t>(loops.size()));
  }
}

void FaceMerger::merge(std::span<const int> group, std::vector<int>& loops,
                       std::vector<std::uint32_t>& ends) {
  ++stamp_;
  for (int f : group) {
    groupOf_[f] = stamp_;
    regionOf_[f] = -1;
  }
  for (int seed : group) {
    if (regionOf_[seed] >= 0) continue;
    const int region = regionBase_++;
    regionOf_[seed] = region;
    for (int v : m_.faces[seed]) boundaryOf_[v] = region;
    // Grow breadth first. A face refused now may fit once its other neighbours have joined,
    // so the refused ones are offered again until none of them fits.
    queue_.assign(1, seed);
    refused_.clear();
    std::size_t head = 0;
    for (;;) {
      for (; head < queue_.size(); ++head) {
        const int f = queue_[head];
        for (int k = 0; k < 3; ++k) {
          const int h = 3 * f + k;
          if (m_.opposite[h] < 0) continue;
          const int g = m_.opposite[h] / 3;
          if (groupOf_[g] != stamp_ || regionOf_[g] >= 0 || blocked_[h]) continue;
          if (tryAdd(g, region)) {
            queue_.push_back(g);
          } else {
            refused_.push_back(g);
          }
        }
      }
      const std::size_t before = queue_.size();
      std::vector<int> retry;
      retry.swap(refused_);
      for (int g : retry) {
        if (regionOf_[g] >= 0) continue;
        if (tryAdd(g, region)) {
          queue_.push_back(g);
        } else {
          refused_.push_back(g);
        }
      }
      if (queue_.size() == before) break;
    }
    emitLoop(group, region, loops, ends);
  }
}

}  // namespace geom::csg
