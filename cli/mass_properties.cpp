#include "cli/mass_properties.h"

#include <algorithm>
#include <cmath>

namespace cli {
namespace {

using geom::Vec3;

Vec3 at(std::span<const std::array<float, 3>> points, int i) {
  const auto& p = points[static_cast<std::size_t>(i)];
  return {p[0], p[1], p[2]};
}

}  // namespace

MassProperties massProperties(std::span<const std::array<float, 3>> points,
                              std::span<const std::vector<int>> faces,
                              std::span<const std::size_t> which) {
  MassProperties m;
  bool first = true;
  for (std::size_t f : which) {
    for (int v : faces[f]) {
      const Vec3 p = at(points, v);
      if (first) m.lo = m.hi = p, first = false;
      m.lo = {std::min(m.lo.x, p.x), std::min(m.lo.y, p.y), std::min(m.lo.z, p.z)};
      m.hi = {std::max(m.hi.x, p.x), std::max(m.hi.y, p.y), std::max(m.hi.z, p.z)};
    }
  }
  if (first) return m;
  // Moments about the bounds' centre: far from the origin the tetrahedra from it would cancel
  // each other in the last digits.
  const Vec3 o = (m.lo + m.hi) * 0.5;
  double volume = 0;
  Vec3 first_{};
  double second[3][3] = {};  // integral of x_i x_j over the solid, about o
  for (std::size_t f : which) {
    const auto& face = faces[f];
    if (face.size() < 3) continue;
    const Vec3 a = at(points, face[0]) - o;
    for (std::size_t k = 1; k + 1 < face.size(); ++k) {
      const Vec3 b = at(points, face[k]) - o, c = at(points, face[k + 1]) - o;
      // The tetrahedron (o, a, b, c): six times its signed volume.
      const double det = geom::dot(a, geom::cross(b, c));
      volume += det / 6;
      const Vec3 s = a + b + c;
      first_ = first_ + s * (det / 24);
      const Vec3 q[3] = {a, b, c};
      for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
          double sum = s[i] * s[j];
          for (const Vec3& p : q) sum += p[i] * p[j];
          second[i][j] += det / 120 * sum;
        }
      }
    }
  }
  m.volume = volume;
  const Vec3 size = m.hi - m.lo;
  const double scale = std::max({size.x, size.y, size.z});
  if (!(std::fabs(volume) > 1e-12 * scale * scale * scale)) {
    m.centroid = o;
    return m;
  }
  const Vec3 c = first_ * (1.0 / volume);  // about o
  m.centroid = o + c;
  double cov[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) cov[i][j] = second[i][j] - volume * c[i] * c[j];
  }
  const double trace = cov[0][0] + cov[1][1] + cov[2][2];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) m.inertia[i][j] = (i == j ? trace : 0.0) - cov[i][j];
  }
  return m;
}

}  // namespace cli
