#include "geom/box_tree.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <utility>

namespace geom {

namespace {

// The float next to f towards -infinity and +infinity (as std::nextafter, inline: a call per
// box coordinate was a tenth of building the tree).
float stepDown(float f) {
  if (f == 0.0f) return -std::numeric_limits<float>::denorm_min();
  const auto bits = std::bit_cast<std::uint32_t>(f);
  return std::bit_cast<float>(f > 0 ? bits - 1 : bits + 1);
}
float stepUp(float f) {
  if (f == 0.0f) return std::numeric_limits<float>::denorm_min();
  const auto bits = std::bit_cast<std::uint32_t>(f);
  return std::bit_cast<float>(f > 0 ? bits + 1 : bits - 1);
}
float roundedDown(double v) {
  const float f = static_cast<float>(v);
  return f > v ? stepDown(f) : f;
}
float roundedUp(double v) {
  const float f = static_cast<float>(v);
  return f < v ? stepUp(f) : f;
}

// Sorts by key, ties by index (as std::sort of the pairs): a stable radix sort by 16 bits at a
// time from an order by index, where there are enough entries to pay for its tables.
void sortByKey(std::vector<std::pair<std::uint64_t, std::uint32_t>>& keyed) {
  if (keyed.size() < 4096) {
    std::sort(keyed.begin(), keyed.end());
    return;
  }
  std::vector<std::pair<std::uint64_t, std::uint32_t>> other(keyed.size());
  std::vector<std::uint32_t> count(1u << 16);
  for (int shift = 0; shift < 64; shift += 16) {
    std::fill(count.begin(), count.end(), 0u);
    for (const auto& e : keyed) ++count[(e.first >> shift) & 0xffff];
    std::uint32_t at = 0;
    for (std::uint32_t& c : count) at += std::exchange(c, at);
    for (const auto& e : keyed) other[count[(e.first >> shift) & 0xffff]++] = e;
    keyed.swap(other);
  }
}

// The 21 low bits of v moved to every third bit (bit i to bit 3i), for interleaving three
// coordinates into one Morton key.
std::uint64_t spreadBits(std::uint64_t v) {
  v &= 0x1fffff;
  v = (v | v << 32) & 0x1f00000000ffffULL;
  v = (v | v << 16) & 0x1f0000ff0000ffULL;
  v = (v | v << 8) & 0x100f00f00f00f00fULL;
  v = (v | v << 4) & 0x10c30c30c30c30c3ULL;
  v = (v | v << 2) & 0x1249249249249249ULL;
  return v;
}

}  // namespace

BoxTree::BoxTree(const std::vector<Vec3>& points, const std::vector<std::array<int, 3>>& tris,
                 const std::vector<std::uint8_t>* only) {
  std::vector<Box> boxes(tris.size());
  order_.reserve(tris.size());
  for (std::size_t t = 0; t < tris.size(); ++t) {
    if (only != nullptr && !(*only)[t]) continue;
    const Vec3& p = points[tris[t][0]];
    const Vec3& q = points[tris[t][1]];
    const Vec3& r = points[tris[t][2]];
    boxes[t] = {{roundedDown(std::min({p.x, q.x, r.x})), roundedDown(std::min({p.y, q.y, r.y})),
                 roundedDown(std::min({p.z, q.z, r.z}))},
                {roundedUp(std::max({p.x, q.x, r.x})), roundedUp(std::max({p.y, q.y, r.y})),
                 roundedUp(std::max({p.z, q.z, r.z}))}};
    order_.push_back(static_cast<std::uint32_t>(t));
  }
  if (order_.empty()) return;
  // Triangles in the order of their box centres along a Morton curve: halving that order
  // gives subtrees that are compact in space, at the cost of one sort.
  float lo[3], hi[3];
  for (int k = 0; k < 3; ++k) {
    lo[k] = INFINITY;
    hi[k] = -INFINITY;
  }
  for (const std::uint32_t t : order_) {
    for (int k = 0; k < 3; ++k) {
      const float c = boxes[t].lo[k] + boxes[t].hi[k];
      lo[k] = std::min(lo[k], c);
      hi[k] = std::max(hi[k], c);
    }
  }
  std::vector<std::pair<std::uint64_t, std::uint32_t>> keyed;
  keyed.reserve(order_.size());
  for (const std::uint32_t t : order_) {
    std::uint64_t key = 0;
    for (int k = 0; k < 3; ++k) {
      const float extent = hi[k] - lo[k];
      const float c = boxes[t].lo[k] + boxes[t].hi[k];
      const double unit = extent > 0 ? (static_cast<double>(c) - lo[k]) / extent : 0.0;
      // Coordinates beyond float's range give infinite boxes, and unit NaN: cell 0 for those.
      const double clamped = unit > 0 ? std::min(unit, 1.0) : 0.0;
      const auto cell = static_cast<std::uint64_t>(clamped * 2097151.0);
      key |= spreadBits(cell) << k;
    }
    keyed.emplace_back(key, t);
  }
  sortByKey(keyed);
  boxes_.resize(keyed.size());
  for (std::size_t i = 0; i < keyed.size(); ++i) {
    order_[i] = keyed[i].second;
    boxes_[i] = boxes[order_[i]];
  }
  // Halving down to kLeafSize gives 2^d leaves for the least d with size / 2^d <= kLeafSize:
  // reserved exactly, so that the nodes are never moved (a guess of twice the size over the leaf
  // size fell short by up to half and copied them all once).
  std::size_t leaves = 1;
  while (order_.size() > leaves * kLeafSize) leaves *= 2;
  nodes_.reserve(2 * leaves - 1);
  build(0, static_cast<std::uint32_t>(order_.size()));
}

// Halves the range; the nodes are laid out depth first, so a subtree's nodes lie together.
std::uint32_t BoxTree::build(std::uint32_t begin, std::uint32_t end) {
  const std::uint32_t index = static_cast<std::uint32_t>(nodes_.size());
  nodes_.emplace_back();
  if (end - begin <= kLeafSize) {
    Box box = boxes_[begin];
    for (std::uint32_t i = begin + 1; i < end; ++i) {
      const Box& b = boxes_[i];
      for (int k = 0; k < 3; ++k) {
        box.lo[k] = std::min(box.lo[k], b.lo[k]);
        box.hi[k] = std::max(box.hi[k], b.hi[k]);
      }
    }
    nodes_[index] = {box, begin, end - begin, 0};
    return index;
  }
  const std::uint32_t mid = begin + (end - begin) / 2;
  const std::uint32_t left = build(begin, mid);
  const std::uint32_t right = build(mid, end);
  Box box = nodes_[left].box;
  const Box& r = nodes_[right].box;
  for (int k = 0; k < 3; ++k) {
    box.lo[k] = std::min(box.lo[k], r.lo[k]);
    box.hi[k] = std::max(box.hi[k], r.hi[k]);
  }
  nodes_[index] = {box, left, 0, right};
  return index;
}

}  // namespace geom
