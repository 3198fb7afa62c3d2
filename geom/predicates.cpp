// The predicates on CGAL's filtered kernel (exact where the filter is unsure).
#include "geom/predicates.h"

#include "geom/cgal_kernel.h"

namespace geom {

using cgal::K;
using cgal::pt;
using cgal::sign;

int orient2d(double ax, double ay, double bx, double by, double cx, double cy) {
  return sign(CGAL::orientation(K::Point_2(ax, ay), K::Point_2(bx, by), K::Point_2(cx, cy)));
}

int orient3d(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d) {
  return sign(CGAL::orientation(pt(a), pt(b), pt(c), pt(d)));
}

bool collinear(const Vec3& a, const Vec3& b, const Vec3& c) {
  return CGAL::collinear(pt(a), pt(b), pt(c));
}

}  // namespace geom
