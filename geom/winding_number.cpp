#include "geom/winding_number.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numeric>

namespace geom {

namespace {

constexpr std::uint32_t kLeafSize = 8;
// A cluster counts as its dipole when the point is farther than `far` radii from its centre;
// the dipole then errs by about 1 / far of the cluster's share (the first term it leaves out).
// Within `doubt` of one half that could decide the side wrongly: the clusters are opened further,
// and at last every triangle is summed.
struct Level {
  double far, doubt;
};
constexpr Level kLevels[] = {{3.0, 0.05}, {12.0, 0.0125}, {48.0, 0.003}};

Vec3 centroid(const std::array<Vec3, 3>& c) {
  return (c[0] + c[1] + c[2]) * (1.0 / 3.0);
}

}  // namespace

FastWindingNumber::FastWindingNumber(const std::vector<Vec3>& points,
                                     const std::vector<std::array<int, 3>>& tris) {
  corners_.reserve(tris.size());
  for (const auto& t : tris) corners_.push_back({points[t[0]], points[t[1]], points[t[2]]});
  if (corners_.empty()) return;
  nodes_.reserve(2 * corners_.size() / kLeafSize + 2);
  build(0, static_cast<std::uint32_t>(corners_.size()));
}

std::int32_t FastWindingNumber::build(std::uint32_t first, std::uint32_t count) {
  const auto id = static_cast<std::int32_t>(nodes_.size());
  nodes_.emplace_back();
  Node node;
  node.first = first;
  node.count = count;
  double total = 0;
  Vec3 weighted, lo = centroid(corners_[first]), hi = lo;
  for (std::uint32_t t = first; t < first + count; ++t) {
    const auto& c = corners_[t];
    const Vec3 a = cross(c[1] - c[0], c[2] - c[0]) * 0.5;
    const double s = length(a);
    const Vec3 m = centroid(c);
    node.area = node.area + a;
    weighted = weighted + m * s;
    total += s;
    lo = {std::min(lo.x, m.x), std::min(lo.y, m.y), std::min(lo.z, m.z)};
    hi = {std::max(hi.x, m.x), std::max(hi.y, m.y), std::max(hi.z, m.z)};
  }
  node.centre = total > 0 ? weighted * (1.0 / total) : (lo + hi) * 0.5;
  for (std::uint32_t t = first; t < first + count; ++t) {
    for (const Vec3& p : corners_[t]) node.radius = std::max(node.radius, length(p - node.centre));
  }
  if (count > kLeafSize) {
    // Split at the median centroid along the longest side of the centroids' box.
    const Vec3 size = hi - lo;
    const int axis = size.x >= size.y && size.x >= size.z ? 0 : (size.y >= size.z ? 1 : 2);
    auto key = [axis](const std::array<Vec3, 3>& c) {
      const Vec3 m = centroid(c);
      return axis == 0 ? m.x : (axis == 1 ? m.y : m.z);
    };
    const std::uint32_t half = count / 2;
    std::nth_element(corners_.begin() + first, corners_.begin() + first + half,
                     corners_.begin() + first + count,
                     [&](const auto& x, const auto& y) { return key(x) < key(y); });
    node.left = build(first, half);
    node.right = build(first + half, count - half);
  }
  nodes_[static_cast<std::size_t>(id)] = node;
  return id;
}

// The signed solid angle of triangle t at p (Van Oosterom and Strackee), positive where p sees
// the triangle's back, that is from inside a closed outward surface.
double FastWindingNumber::triangleAngle(std::uint32_t t, const Vec3& p) const {
  const auto& c = corners_[t];
  const Vec3 a = c[0] - p, b = c[1] - p, d = c[2] - p;
  const double la = length(a), lb = length(b), ld = length(d);
  const double det = dot(a, cross(b, d));
  const double div = la * lb * ld + dot(a, b) * ld + dot(b, d) * la + dot(d, a) * lb;
  if (det == 0 && div >= 0) return 0;  // p in the triangle's plane, outside it, or on it
  return 2 * std::atan2(det, div);
}

double FastWindingNumber::at(const Vec3& p) const {
  return at(p, kLevels[0].far);
}

double FastWindingNumber::at(const Vec3& p, double far) const {
  if (nodes_.empty()) return 0;
  double sum = 0;
  std::int32_t stack[128];
  int top = 0;
  stack[top++] = 0;
  while (top > 0) {
    const Node& n = nodes_[static_cast<std::size_t>(stack[--top])];
    const Vec3 r = n.centre - p;
    const double d = length(r);
    if (d > far * n.radius) {
      sum += dot(r, n.area) / (d * d * d);
    } else if (n.left < 0 || top + 2 > 128) {
      for (std::uint32_t t = n.first; t < n.first + n.count; ++t) sum += triangleAngle(t, p);
    } else {
      stack[top++] = n.left;
      stack[top++] = n.right;
    }
  }
  return sum / (4 * M_PI);
}

double FastWindingNumber::exactAt(const Vec3& p) const {
  double sum = 0;
  for (std::uint32_t t = 0; t < corners_.size(); ++t) sum += triangleAngle(t, p);
  return sum / (4 * M_PI);
}

bool FastWindingNumber::inside(const Vec3& p) const {
  // Near a sheet, and across the hole a rim spans, the winding number is close to one half:
  // most points there are decided once the nearer clusters are opened, without summing every
  // triangle. The dipoles' error shrinks about as 1 / far: where opening the clusters four
  // times further moved the sum by e, what is left is about e / 4, and a point more than 2 e
  // from one half is decided too.
  double before = 0;
  for (std::size_t k = 0; k < std::size(kLevels); ++k) {
    const double w = at(p, kLevels[k].far);
    const double off = std::fabs(w - 0.5);
    if (off > kLevels[k].doubt || (k > 0 && off > 2 * std::fabs(w - before) + 1e-9)) {
      return w > 0.5;
    }
    before = w;
  }
  return exactAt(p) > 0.5;
}

}  // namespace geom
