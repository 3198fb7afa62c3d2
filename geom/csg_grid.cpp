#include "geom/csg_grid.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace geom::csg {

namespace {

double roundAxis(double v, double scale, double offset) {
  // Through memory: GCC 12's vectoriser at -O2 drops the double-float-double round trip when
  // the three axes are done side by side, and the rounding is the whole point here.
  volatile float f = static_cast<float>(v * scale + offset);
  return (static_cast<double>(f) - offset) / scale;
}

double stepAxis(double v, double scale, double offset) {
  const float f = std::fabs(static_cast<float>(v * scale + offset));
  const float next = std::nextafter(f, std::numeric_limits<float>::infinity());
  return (static_cast<double>(next) - static_cast<double>(f)) / scale;
}

}  // namespace

Vec3 Grid::round(const Vec3& v) const {
  if (!active) return v;
  return {roundAxis(v.x, scale, offset.x), roundAxis(v.y, scale, offset.y),
          roundAxis(v.z, scale, offset.z)};
}

double Grid::spacing(const Vec3& v) const {
  if (!active) return 0.0;
  return std::max({stepAxis(v.x, scale, offset.x), stepAxis(v.y, scale, offset.y),
                   stepAxis(v.z, scale, offset.z)});
}

}  // namespace geom::csg
