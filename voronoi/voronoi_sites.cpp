// The centres on their way into the Voro++ container: the container box, which centres it
// accepts, their jitter and the merging of those that would fall together.
#include <cmath>
#include <cstdlib>

#include "core/margin_box.h"
#include "voronoi/proximity_index.h"
#include "voronoi/voronoi_cells.h"

namespace tsl::voronoi {
namespace {

bool isFinite(const Float3& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

geom::Vec3 widen(const Float3& p) {
  return {p.x, p.y, p.z};
}

}  // namespace

ContainerBox containerBox(const geom::AABB& meshBox) {
  const MarginBox b = marginBox(meshBox);
  return {b.lo, b.hi};
}

bool isUsable(const ContainerBox& box) {
  if (!isFinite(box.lo) || !isFinite(box.hi)) return false;
  if (!(box.hi.x > box.lo.x && box.hi.y > box.lo.y && box.hi.z > box.lo.z)) return false;
  const double j = jitterStep(box);
  return std::isfinite(j) && j > 0;
}

double jitterStep(const ContainerBox& box) {
  const float dx = box.hi.x - box.lo.x;
  const float dy = box.hi.y - box.lo.y;
  const float dz = box.hi.z - box.lo.z;
  const float diagonal = std::sqrt(dx * dx + dy * dy + dz * dz);
  if (std::isfinite(diagonal) && diagonal > 0.0f) return static_cast<double>(diagonal) * 0.00001;
  // The squares overflow or vanish in float for boxes beyond about 1e19 or below 1e-19; the
  // double diagonal keeps such meshes usable instead of silently giving no cells.
  const double d = std::sqrt(double(dx) * dx + double(dy) * dy + double(dz) * dz);
  return d * 0.00001;
}

bool precedes(const Float3& a, const Float3& b) {
  if (a.z != b.z) return a.z < b.z;
  if (a.y != b.y) return a.y < b.y;
  return a.x < b.x;
}

bool isAccepted(const Float3& c, const ContainerBox& box) {
  return precedes(c, box.hi) && !precedes(c, box.lo);
}

std::vector<Site> prepareSites(std::span<const Float3> centres, const ContainerBox& box,
                               SiteStats* stats) {
  SiteStats local;
  SiteStats& st = stats ? *stats : local;
  st = {};
  const double j = jitterStep(box);
  // Only centres that the jitter (0 to 9J, upwards) can carry into the box can meet in it.
  const geom::Vec3 reachLo = widen(box.lo) - geom::Vec3{10 * j, 10 * j, 10 * j};
  const geom::Vec3 reachHi = widen(box.hi);
  auto canReachBox = [&](const geom::Vec3& p) {
    return p.x >= reachLo.x && p.x <= reachHi.x && p.y >= reachLo.y && p.y <= reachHi.y &&
           p.z >= reachLo.z && p.z <= reachHi.z;
  };
  ProximityIndex kept(reachLo, j);

  std::vector<Site> sites;
  sites.reserve(centres.size());
  int n = 0;
  for (const Float3& c : centres) {
    if (!isFinite(c)) {
      ++st.nonFinite;
      continue;
    }
    if (!isAccepted(c, box)) {
      ++st.rejected;
      continue;
    }
    const geom::Vec3 p = widen(c);
    if (canReachBox(p)) {
      if (kept.anyWithin(p)) {
        ++st.merged;
        continue;
      }
      kept.insert(p);
    }
    const int r1 = std::rand() % 10;
    const int r2 = std::rand() % 10;
    const int r3 = std::rand() % 10;
    sites.push_back({n++, {p.x + r3 * j, p.y + r2 * j, p.z + r1 * j}});
  }
  return sites;
}

}  // namespace tsl::voronoi
