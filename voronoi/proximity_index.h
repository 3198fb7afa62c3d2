// Earlier points within a radius, for the Voronoi node's centres.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "geom/vec3.h"

namespace tsl::voronoi {

// Finds earlier points within a radius: a hash grid of cells one radius wide, so a query looks
// at 27 cells. Only for points near the container box, whose cell keys stay small integers.
class ProximityIndex {
 public:
  ProximityIndex(const geom::Vec3& origin, double radius) : origin_(origin), radius_(radius) {}

  bool anyWithin(const geom::Vec3& p) const {
    const Key k = keyOf(p);
    const double r2 = radius_ * radius_;
    for (std::int64_t dz = -1; dz <= 1; ++dz) {
      for (std::int64_t dy = -1; dy <= 1; ++dy) {
        for (std::int64_t dx = -1; dx <= 1; ++dx) {
          const auto it = cells_.find(Key{k.x + dx, k.y + dy, k.z + dz});
          if (it == cells_.end()) continue;
          for (const geom::Vec3& q : it->second) {
            const geom::Vec3 d = p - q;
            if (geom::dot(d, d) <= r2) return true;
          }
        }
      }
    }
    return false;
  }

  void insert(const geom::Vec3& p) { cells_[keyOf(p)].push_back(p); }

 private:
  struct Key {
    std::int64_t x, y, z;
    friend bool operator==(const Key&, const Key&) = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& k) const {
      std::uint64_t h = static_cast<std::uint64_t>(k.x) * 0x9E3779B97F4A7C15ull;
      h ^= static_cast<std::uint64_t>(k.y) * 0xC2B2AE3D27D4EB4Full + (h << 6) + (h >> 2);
      h ^= static_cast<std::uint64_t>(k.z) * 0x165667B19E3779F9ull + (h << 6) + (h >> 2);
      return static_cast<std::size_t>(h);
    }
  };

  Key keyOf(const geom::Vec3& p) const {
    return {static_cast<std::int64_t>(std::floor((p.x - origin_.x) / radius_)),
            static_cast<std::int64_t>(std::floor((p.y - origin_.y) / radius_)),
            static_cast<std::int64_t>(std::floor((p.z - origin_.z) / radius_))};
  }

  geom::Vec3 origin_;
  double radius_;
  std::unordered_map<Key, std::vector<geom::Vec3>, KeyHash> cells_;
};

}  // namespace tsl::voronoi
