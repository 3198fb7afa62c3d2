#include "cli/knife_scatter.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "geom/error.h"

namespace cli {

geom::Vec3 KnifePose::apply(const geom::Vec3& p) const {
  const geom::Vec3 s = p * scale;
  return move + geom::Vec3{turn[0][0] * s.x + turn[0][1] * s.y + turn[0][2] * s.z,
                           turn[1][0] * s.x + turn[1][1] * s.y + turn[1][2] * s.z,
                           turn[2][0] * s.x + turn[2][1] * s.y + turn[2][2] * s.z};
}

std::vector<KnifePose> scatterKnives(const geom::MeshFile& mesh, const KnifeScatter& sc) {
  if (mesh.points.empty()) throw geom::Error("the mesh has no points to place knives about");
  const auto [lo, hi] = boxOf(mesh);
  std::mt19937_64 rng(sc.seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::normal_distribution<double> normal(0.0, 1.0);
  std::vector<KnifePose> out;
  out.reserve(sc.count);
  for (std::size_t k = 0; k < sc.count; ++k) {
    KnifePose pose;
    if (sc.impacts.empty()) {
      pose.move = {lo.x + unit(rng) * (hi.x - lo.x), lo.y + unit(rng) * (hi.y - lo.y),
                   lo.z + unit(rng) * (hi.z - lo.z)};
    } else {
      const Impact& i = sc.impacts[k % sc.impacts.size()];
      const double sigma = impactRadius(i, mesh) / 2;
      pose.move = i.point + geom::Vec3{normal(rng), normal(rng), normal(rng)} * sigma;
    }
    // A unit quaternion from four normal draws is uniform over the rotations.
    double q[4] = {normal(rng), normal(rng), normal(rng), normal(rng)};
    const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (n > 0) {
      for (double& c : q) c /= n;
    } else {
      q[0] = 1, q[1] = q[2] = q[3] = 0;
    }
    const double w = q[0], x = q[1], y = q[2], z = q[3];
    pose.turn = {{{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                  {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                  {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}}};
    pose.scale = sc.minScale + unit(rng) * (sc.maxScale - sc.minScale);
    out.push_back(pose);
  }
  return out;
}

}  // namespace cli
