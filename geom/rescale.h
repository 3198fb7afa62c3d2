// Power-of-two normaliser that brings a box into about [-1, 1] before a Boolean.
#pragma once

#include "geom/vec3.h"

namespace geom {

// Per axis an offset d (0 when the range straddles 0, else the bound nearest zero) and one
// common power-of-two scale s chosen so that the largest |coordinate - d| maps into (0.5, 1].
// Because s is a power of two, fwd and rev lose no precision beyond the subtraction of d.
class Rescale {
 public:
  // Requires min <= max per axis for a meaningful box; any finite values are accepted.
  Rescale(double minx, double miny, double minz, double maxx, double maxy, double maxz);

  Vec3 fwd(const Vec3& v) const {
    return {(v.x - d_.x) / s_, (v.y - d_.y) / s_, (v.z - d_.z) / s_};
  }
  Vec3 rev(const Vec3& v) const { return {v.x * s_ + d_.x, v.y * s_ + d_.y, v.z * s_ + d_.z}; }

  const Vec3& offset() const { return d_; }
  double scale() const { return s_; }

 private:
  Vec3 d_;
  double s_ = 1.0;
};

}  // namespace geom
