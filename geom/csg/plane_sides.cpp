#include "geom/csg/plane_sides.h"

namespace geom::csg {

PlaneSides::PlaneSides(const std::vector<Vec3>& points, const std::vector<std::array<int, 3>>& tris)
    : points_(points), tris_(tris) {}

const PlaneSides::Plane& PlaneSides::plane(std::uint32_t t) {
  if (slot_.empty()) slot_.assign(tris_.size(), 0);
  if (slot_[t] != 0) return planes_[slot_[t] - 1];
  const std::array<int, 3>& c = tris_[t];
  Plane p;
  p.origin = points_[c[0]];
  p.normal = crossOf(points_[c[1]] - p.origin, points_[c[2]] - p.origin);
  planes_.push_back(p);
  slot_[t] = static_cast<std::uint32_t>(planes_.size());
  return planes_.back();
}

int PlaneSides::side(std::uint32_t t, const Vec3& q) {
  const Plane& p = plane(t);
  return certainSign(dotted(p.normal, q - p.origin));
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
