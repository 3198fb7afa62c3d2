#include "voronoi/planar_uv.h"

#include <cmath>

#include "xsi_math.h"

namespace tsl::voronoi {
namespace {

using XSI::MATH::CMatrix3;
using XSI::MATH::CRotation;
using XSI::MATH::CVector3;

// p * m with p as a row vector on the left.
CVector3 rowTimes(const CVector3& p, const CMatrix3& m) {
  CVector3 q = p;
  q.MulByMatrix3InPlace(m);
  return q;
}

// The rotation by angle (rounded to float) that the host builds from axis. A zero axis (the
// normal already along the axis it is measured against) gives the identity: that turn is
// skipped.
CMatrix3 hostRotation(const CVector3& axis, double angle) {
  CRotation r;
  r.SetFromAxisAngle(axis, static_cast<double>(static_cast<float>(angle)));
  return r.GetMatrix();
}

bool allFinite(std::span<const geom::Vec3> corners) {
  for (const geom::Vec3& p : corners) {
    if (!geom::isFinite(p)) return false;
  }
  return true;
}

}  // namespace

void appendPlanarUvw(std::span<const geom::Vec3> corners, float scale, std::vector<Float3>& out) {
  const std::size_t first = out.size();
  out.resize(first + corners.size());  // zeros: the degenerate answer
  if (corners.size() < 3 || !allFinite(corners)) return;

  const geom::Vec3 e1 = corners[1] - corners[0];
  const geom::Vec3 e2 = corners[2] - corners[0];
  CVector3 n;
  n.Cross(CVector3(e1.x, e1.y, e1.z), CVector3(e2.x, e2.y, e2.z));
  if (!n.NormalizeInPlace().Succeeded()) return;

  const CMatrix3 m1 =
      hostRotation(CVector3(0.0, -n.GetZ(), n.GetY()), n.GetAngle(CVector3(1.0, 0.0, 0.0)));
  const CVector3 n1 = rowTimes(n, m1);
  const CMatrix3 m2 =
      hostRotation(CVector3(-n1.GetY(), n1.GetX(), 0.0), n1.GetAngle(CVector3(0.0, 0.0, 1.0)));

  const double s = scale;
  for (std::size_t i = 0; i < corners.size(); ++i) {
    const geom::Vec3& p = corners[i];
    const CVector3 q = rowTimes(rowTimes(CVector3(p.x, p.y, p.z), m1), m2);
    const Float3 uvw{static_cast<float>(s * q.GetX()), static_cast<float>(s * q.GetY()),
                     static_cast<float>(s * q.GetZ())};
    // A huge scale can still overflow float; such a corner keeps the degenerate answer.
    if (std::isfinite(uvw.x) && std::isfinite(uvw.y) && std::isfinite(uvw.z)) {
      out[first + i] = uvw;
    }
  }
}

}  // namespace tsl::voronoi
