#include "cli/raster.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace cli {

Frame::Frame(int width, int height)
    : width_(width),
      height_(height),
      depth_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
             std::numeric_limits<float>::infinity()),
      triangle_(depth_.size(), -1),
      weights_(depth_.size(), {0.0f, 0.0f}) {}

void Frame::draw(std::int32_t id, const Clip& a, const Clip& b, const Clip& c) {
  // The preview keeps its whole scene in front of the camera, so a corner behind it means the
  // triangle is not meant to be seen: no clipping against the near plane is needed.
  const Clip* v[3] = {&a, &b, &c};
  double sx[3], sy[3], sz[3], iw[3];
  for (int i = 0; i < 3; ++i) {
    const Clip& p = *v[i];
    if (!(p[3] > 1e-12) || !std::isfinite(p[0]) || !std::isfinite(p[1])) return;
    iw[i] = 1.0 / p[3];
    sx[i] = (p[0] * iw[i] * 0.5 + 0.5) * width_;
    sy[i] = (0.5 - p[1] * iw[i] * 0.5) * height_;
    sz[i] = p[2] * iw[i];
  }
  const double area = (sx[1] - sx[0]) * (sy[2] - sy[0]) - (sx[2] - sx[0]) * (sy[1] - sy[0]);
  if (area == 0.0 || !std::isfinite(area) || !std::isfinite(sy[0] + sy[1] + sy[2])) return;
  // Clamped in double first: a corner just in front of the camera can lie far outside the frame.
  auto pixel = [](double v, int size) {
    return static_cast<int>(std::clamp(v, -1.0, static_cast<double>(size)));
  };
  const int x0 = std::max(0, pixel(std::floor(std::min({sx[0], sx[1], sx[2]})), width_));
  const int x1 = std::min(width_ - 1, pixel(std::ceil(std::max({sx[0], sx[1], sx[2]})), width_));
  const int y0 = std::max(0, pixel(std::floor(std::min({sy[0], sy[1], sy[2]})), height_));
  const int y1 = std::min(height_ - 1, pixel(std::ceil(std::max({sy[0], sy[1], sy[2]})), height_));
  const double inv = 1.0 / area;
  for (int y = y0; y <= y1; ++y) {
    const double py = y + 0.5;
    for (int x = x0; x <= x1; ++x) {
      const double px = x + 0.5;
      // Edge functions, normalised so the three weights sum to 1 whatever the winding.
      double l0 = ((sx[1] - px) * (sy[2] - py) - (sx[2] - px) * (sy[1] - py)) * inv;
      double l1 = ((sx[2] - px) * (sy[0] - py) - (sx[0] - px) * (sy[2] - py)) * inv;
      double l2 = 1.0 - l0 - l1;
      // Top-left style tie rule: a pixel centre exactly on an edge goes to the triangle on its
      // positive side only.
      if (l0 < 0 || l1 < 0 || l2 < 0) continue;
      if ((l0 == 0 && area < 0) || (l1 == 0 && area < 0) || (l2 == 0 && area < 0)) continue;
      const double z = l0 * sz[0] + l1 * sz[1] + l2 * sz[2];
      if (z < -1.0 || z > 1.0) continue;
      const std::size_t i = index(x, y);
      if (!(z < depth_[i])) continue;
      // Perspective-correct weights: screen weights over w, renormalised.
      const double p0 = l0 * iw[0], p1 = l1 * iw[1], p2 = l2 * iw[2];
      const double s = p0 + p1 + p2;
      depth_[i] = static_cast<float>(z);
      triangle_[i] = id;
      weights_[i] = {static_cast<float>(p1 / s), static_cast<float>(p2 / s)};
    }
  }
}

}  // namespace cli
