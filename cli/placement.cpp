#include "cli/placement.h"

#include <cmath>
#include <numbers>

namespace cli {

bool Placement::isIdentity() const {
  return move == std::array<double, 3>{0, 0, 0} &&
         rotateDegrees == std::array<double, 3>{0, 0, 0} && scale == 1.0;
}

geom::Vec3 Placement::apply(const geom::Vec3& p) const {
  const double k = std::numbers::pi / 180.0;
  double x = p.x * scale, y = p.y * scale, z = p.z * scale;
  const double ax = rotateDegrees[0] * k, ay = rotateDegrees[1] * k, az = rotateDegrees[2] * k;
  const double y1 = y * std::cos(ax) - z * std::sin(ax), z1 = y * std::sin(ax) + z * std::cos(ax);
  const double x2 = x * std::cos(ay) + z1 * std::sin(ay),
               z2 = -x * std::sin(ay) + z1 * std::cos(ay);
  const double x3 = x2 * std::cos(az) - y1 * std::sin(az),
               y3 = x2 * std::sin(az) + y1 * std::cos(az);
  x = x3;
  y = y3;
  z = z2;
  return {x + move[0], y + move[1], z + move[2]};
}

}  // namespace cli
