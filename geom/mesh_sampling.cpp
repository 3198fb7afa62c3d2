#include "geom/mesh_sampling.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include "geom/error.h"

namespace geom {

bool insideByParity(const MeshFile& m, const Vec3& p) {
  const Vec3 d{0.5773502691896258, 0.5773502691896257 + 1.234e-7, 0.5773502691896259 - 2.71e-8};
  int crossings = 0;
  for (const auto& f : m.polygons) {
    for (std::size_t i = 1; i + 1 < f.size(); ++i) {
      const Vec3 a = m.points[static_cast<std::size_t>(f[0])];
      const Vec3 e1 = m.points[static_cast<std::size_t>(f[i])] - a;
      const Vec3 e2 = m.points[static_cast<std::size_t>(f[i + 1])] - a;
      const Vec3 q = cross(d, e2);
      const double det = dot(e1, q);
      if (det == 0.0) continue;
      const Vec3 s = p - a;
      const double u = dot(s, q) / det;
      if (u < 0 || u > 1) continue;
      const Vec3 r = cross(s, e1);
      const double v = dot(d, r) / det;
      if (v < 0 || u + v > 1) continue;
      if (dot(e2, r) / det > 0) ++crossings;
    }
  }
  return crossings % 2 == 1;
}

std::vector<Vec3> scatterInside(const MeshFile& m, std::size_t count, std::uint64_t seed) {
  if (m.points.empty()) throw Error("the mesh has no points to place centres in");
  Vec3 lo = m.points[0], hi = m.points[0];
  for (const auto& p : m.points) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> ux(lo.x, hi.x), uy(lo.y, hi.y), uz(lo.z, hi.z);
  std::vector<Vec3> out;
  out.reserve(count);
  const std::size_t attempts = 1000 * count + 1000;
  for (std::size_t i = 0; i < attempts && out.size() < count; ++i) {
    const Vec3 p{ux(rng), uy(rng), uz(rng)};
    if (insideByParity(m, p)) out.push_back(p);
  }
  if (out.size() < count) {
    throw Error("could not place " + std::to_string(count) +
                " points inside the mesh (is it closed?)");
  }
  return out;
}

}  // namespace geom
