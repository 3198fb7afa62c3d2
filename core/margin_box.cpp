#include "core/margin_box.h"

#include <cmath>

namespace tsl {
namespace {

Float3 movedCorner(const geom::Vec3& centre, const geom::Vec3& corner) {
  Float3 d{static_cast<float>(corner.x - centre.x), static_cast<float>(corner.y - centre.y),
           static_cast<float>(corner.z - centre.z)};
  const float len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
  if (len > 0.000001f) {
    const float s = 0.05f / len;
    d = {d.x * s, d.y * s, d.z * s};
  }
  return {static_cast<float>(corner.x) + d.x, static_cast<float>(corner.y) + d.y,
          static_cast<float>(corner.z) + d.z};
}

}  // namespace

MarginBox marginBox(const geom::AABB& meshBox) {
  const geom::Vec3& p = meshBox.pos;
  const geom::Vec3& e = meshBox.extent;
  return {movedCorner(p, p - e), movedCorner(p, p + e)};
}

}  // namespace tsl
