#include "geom/csg/plane_sides.h"

#include <cmath>

namespace geom::csg {

namespace {

// The determinant is a sum of six products of three differences of coordinates, each step
// rounded: its error is below 8 units of roundoff (1.1e-16) times the same sum taken over
// absolute values. The margin is a dozen times that.
constexpr double kErrorFactor = 1e-14;

Vec3 absolute(const Vec3& v) {
  return {std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)};
}

}  // namespace

PlaneSides::PlaneSides(const std::vector<Vec3>& points, const std::vector<std::array<int, 3>>& tris)
    : points_(points), tris_(tris) {}

const PlaneSides::Plane& PlaneSides::plane(std::uint32_t t) {
  if (slot_.empty()) slot_.assign(tris_.size(), 0);
  if (slot_[t] != 0) return planes_[slot_[t] - 1];
  const std::array<int, 3>& c = tris_[t];
  Plane p;
  p.origin = points_[c[0]];
  const Vec3 u = points_[c[1]] - p.origin, w = points_[c[2]] - p.origin;
  p.normal = cross(u, w);
  const Vec3 au = absolute(u), aw = absolute(w);
  p.magnitude = {au.y * aw.z + au.z * aw.y, au.z * aw.x + au.x * aw.z, au.x * aw.y + au.y * aw.x};
  planes_.push_back(p);
  slot_[t] = static_cast<std::uint32_t>(planes_.size());
  return planes_.back();
}

int PlaneSides::side(std::uint32_t t, const Vec3& q) {
  const Plane& p = plane(t);
  const Vec3 r = q - p.origin;
  const double s = dot(p.normal, r);
  const double bound = kErrorFactor * dot(p.magnitude, absolute(r));
  if (s > bound) return 1;
  if (s < -bound) return -1;
  return 0;
}

int PlaneSides::commonSide(std::uint32_t t, PlaneSides& of, std::uint32_t u,
                           const std::array<int, 3>* skip) {
  int common = 2;  // no corner seen yet
  for (const int v : of.tris_[u]) {
    if (skip != nullptr && ((*skip)[0] == v || (*skip)[1] == v || (*skip)[2] == v)) continue;
    const int s = side(t, of.points_[v]);
    if (s == 0 || (common != 2 && s != common)) return 0;
    common = s;
  }
  return common == 2 ? 0 : common;
}

bool PlaneSides::apart(std::uint32_t t1, std::uint32_t t2) {
  return commonSide(t1, *this, t2, &tris_[t1]) != 0 || commonSide(t2, *this, t1, &tris_[t2]) != 0;
}

bool PlaneSides::apart(std::uint32_t t, PlaneSides& other, std::uint32_t u) {
  return commonSide(t, other, u, nullptr) != 0 || other.commonSide(u, *this, t, nullptr) != 0;
}

}  // namespace geom::csg
