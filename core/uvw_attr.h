// The UVW value the nodes carry through the Boolean engine's corner interpolation.
#pragma once

#include "core/topo_store.h"

namespace tsl {

// Scaling multiplies in double and rounds each component to float; addition is in float. The
// interpolated values depend on exactly this, so it must not be "improved" to double sums.
struct UvwAttr {
  float u = 0.0f, v = 0.0f, w = 0.0f;

  friend UvwAttr operator*(const UvwAttr& a, double weight) {
    return {static_cast<float>(weight * a.u), static_cast<float>(weight * a.v),
            static_cast<float>(weight * a.w)};
  }
  friend UvwAttr operator+(const UvwAttr& a, const UvwAttr& b) {
    return {a.u + b.u, a.v + b.v, a.w + b.w};
  }
  Float3 toFloat3() const { return {u, v, w}; }
  static UvwAttr of(const Float3& f) { return {f.x, f.y, f.z}; }
};

}  // namespace tsl
