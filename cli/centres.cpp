#include "cli/centres.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <sstream>
#include <string>

#include "geom/error.h"
#include "geom/mesh_sampling.h"

namespace cli {
namespace {

using geom::Vec3;

// Each mode draws from its own stream, so adding a mode leaves the others' centres as they were.
std::mt19937_64 streamFor(std::uint64_t seed, std::uint64_t mode) {
  return std::mt19937_64(mixSeed(seed + 0x9E3779B97F4A7C15ull * (mode + 1)));
}

// Fan triangles of the mesh with their cumulative areas, for drawing surface points by area.
struct Surface {
  std::vector<std::array<Vec3, 3>> tris;
  std::vector<double> cumulative;
};

Surface surfaceOf(const geom::MeshFile& m) {
  Surface s;
  double total = 0;
  for (const auto& f : m.polygons) {
    for (std::size_t i = 1; i + 1 < f.size(); ++i) {
      const std::array<Vec3, 3> t{m.points[static_cast<std::size_t>(f[0])],
                                  m.points[static_cast<std::size_t>(f[i])],
                                  m.points[static_cast<std::size_t>(f[i + 1])]};
      const double a = geom::length(geom::cross(t[1] - t[0], t[2] - t[0]));
      if (!(a > 0)) continue;
      total += a;
      s.tris.push_back(t);
      s.cumulative.push_back(total);
    }
  }
  return s;
}

// count centres within distance of the surface: a point drawn on the surface by area, moved
// inwards along its face's normal by a uniform fraction of distance, kept where inside. Its
// distance to the surface is at most the step, so at most distance.
std::vector<Vec3> nearSurface(const geom::MeshFile& m, const geom::InsideTest& inside,
                              std::size_t count, double distance, std::uint64_t seed,
                              bool mustFill) {
  std::vector<Vec3> out;
  const Surface s = surfaceOf(m);
  if (s.tris.empty() || count == 0) return out;
  auto rng = streamFor(seed, 1);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const std::size_t attempts = 200 * count + 1000;
  for (std::size_t i = 0; i < attempts && out.size() < count; ++i) {
    const double pick = unit(rng) * s.cumulative.back();
    const std::size_t t = static_cast<std::size_t>(
        std::upper_bound(s.cumulative.begin(), s.cumulative.end(), pick) - s.cumulative.begin());
    const auto& tri = s.tris[std::min(t, s.tris.size() - 1)];
    double u = unit(rng), v = unit(rng);
    if (u + v > 1) u = 1 - u, v = 1 - v;
    const Vec3 p = tri[0] + (tri[1] - tri[0]) * u + (tri[2] - tri[0]) * v;
    const Vec3 n = geom::cross(tri[1] - tri[0], tri[2] - tri[0]);
    const double step = distance * (1.0 - unit(rng));  // in (0, distance]
    const Vec3 q = p - n * (step / geom::length(n));
    if (inside(q)) out.push_back(q);
  }
  if (mustFill && out.size() < count) {
    throw geom::Error("could not place " + std::to_string(count) + " centres within " +
                      std::to_string(distance) + " of the surface (is the mesh closed?)");
  }
  return out;
}

std::vector<Vec3> aroundImpact(const geom::MeshFile& m, const geom::InsideTest& inside,
                               const Impact& impact, std::size_t count, std::uint64_t seed,
                               std::uint64_t mode, Placing placing) {
  std::vector<Vec3> out;
  const double sigma = impactRadius(impact, m) / 2;
  auto rng = streamFor(seed, mode);
  std::normal_distribution<double> normal(0.0, sigma);
  // A piece takes its share of the whole mesh's draws; the whole mesh draws until it has them
  // all, so an impact on the surface (half its draws outside) still gives count centres.
  const std::size_t attempts = placing == Placing::Piece ? count : 100 * count + 1000;
  for (std::size_t i = 0; i < attempts && out.size() < count; ++i) {
    const Vec3 q = impact.point + Vec3{normal(rng), normal(rng), normal(rng)};
    if (inside(q)) out.push_back(q);
  }
  if (placing == Placing::Whole && out.size() < count) {
    throw geom::Error("could not place " + std::to_string(count) +
                      " centres inside the mesh about the impact at " +
                      std::to_string(impact.point.x) + "," + std::to_string(impact.point.y) + "," +
                      std::to_string(impact.point.z) + " (is it far outside the mesh?)");
  }
  return out;
}

std::vector<Vec3> radialPattern(const geom::MeshFile& m, const Radial& r, std::uint64_t seed) {
  Vec3 axis = r.axis ? *r.axis : thinnestAxis(m);
  const double len = geom::length(axis);
  if (!(len > 0) || !std::isfinite(len)) throw geom::Error("the radial axis must not be zero");
  axis = axis * (1.0 / len);
  // Two directions across the axis.
  const Vec3 seedDir = std::fabs(axis.x) < 0.9 ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
  Vec3 e1 = geom::cross(axis, seedDir);
  e1 = e1 * (1.0 / geom::length(e1));
  const Vec3 e2 = geom::cross(axis, e1);
  const PointBox b = boxOf(m);
  double reach = 0;
  for (int corner = 0; corner < 8; ++corner) {
    const Vec3 c{corner & 1 ? b.hi.x : b.lo.x, corner & 2 ? b.hi.y : b.lo.y,
                 corner & 4 ? b.hi.z : b.lo.z};
    const Vec3 d = c - r.point;
    reach = std::max(reach, std::hypot(geom::dot(d, e1), geom::dot(d, e2)));
  }
  auto rng = streamFor(seed, 2);
  std::uniform_real_distribution<double> jitter(-r.jitter, r.jitter);
  std::vector<Vec3> out{r.point};
  const double turn = 2 * std::numbers::pi / r.spokes;
  for (int k = 1; k <= r.rings; ++k) {
    const double radius = reach * std::pow(double(k) / r.rings, 1.5);
    const double below = reach * std::pow(double(k - 1) / r.rings, 1.5);
    for (int s = 0; s < r.spokes; ++s) {
      const double rad = radius + jitter(rng) * (radius - below);
      const double angle = (s + jitter(rng)) * turn;
      out.push_back(r.point + e1 * (rad * std::cos(angle)) + e2 * (rad * std::sin(angle)));
    }
  }
  return out;
}

}  // namespace

PointBox boxOf(const geom::MeshFile& m) {
  PointBox b{m.points.front(), m.points.front()};
  for (const auto& p : m.points) {
    b.lo = {std::min(b.lo.x, p.x), std::min(b.lo.y, p.y), std::min(b.lo.z, p.z)};
    b.hi = {std::max(b.hi.x, p.x), std::max(b.hi.y, p.y), std::max(b.hi.z, p.z)};
  }
  return b;
}

std::uint64_t mixSeed(std::uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double impactRadius(const Impact& impact, const geom::MeshFile& region) {
  if (impact.radius) return *impact.radius;
  const PointBox b = boxOf(region);
  return 0.1 * geom::length(b.hi - b.lo);
}

geom::Vec3 thinnestAxis(const geom::MeshFile& region) {
  const PointBox b = boxOf(region);
  const Vec3 size = b.hi - b.lo;
  if (size.x <= size.y && size.x <= size.z) return {1, 0, 0};
  if (size.y <= size.z) return {0, 1, 0};
  return {0, 0, 1};
}

std::vector<geom::Vec3> placeCentres(const geom::MeshFile& region, const CentreModes& modes,
                                     std::uint64_t seed, Placing placing) {
  if (region.points.empty()) throw geom::Error("the mesh has no points to place centres in");
  const bool whole = placing == Placing::Whole;
  const geom::InsideTest inside(region);
  std::vector<Vec3> out;
  if (modes.count > 0 && modes.nearSurface) {
    out = nearSurface(region, inside, modes.count, *modes.nearSurface, seed, whole);
  } else if (modes.count > 0) {
    if (whole) {
      out = geom::scatterInside(region, modes.count, seed);
    } else {
      // A sliver of a piece may hold too few of the draws; it takes what it gets.
      try {
        out = geom::scatterInside(region, modes.count, seed);
      } catch (const geom::Error&) {
      }
    }
  }
  for (std::size_t i = 0; i < modes.impacts.size(); ++i) {
    const auto c =
        aroundImpact(region, inside, modes.impacts[i], modes.impactCount, seed, 3 + i, placing);
    out.insert(out.end(), c.begin(), c.end());
  }
  if (modes.radial) {
    for (const Vec3& c : radialPattern(region, *modes.radial, seed)) {
      if (inside(c)) out.push_back(c);
    }
  }
  for (const Vec3& c : modes.fixed) {
    if (whole || inside(c)) out.push_back(c);
  }
  return out;
}

std::optional<Impact> impactFromText(const std::string& text) {
  std::string s = text;
  for (char& c : s) c = c == ',' ? ' ' : c;
  std::istringstream in(s);
  std::vector<double> v;
  double x = 0;
  while (in >> x) v.push_back(x);
  if (!in.eof() || (v.size() != 3 && v.size() != 4)) return std::nullopt;
  for (double d : v) {
    if (!std::isfinite(d)) return std::nullopt;
  }
  if (v.size() == 4 && !(v[3] > 0)) return std::nullopt;
  Impact i{{v[0], v[1], v[2]}, std::nullopt};
  if (v.size() == 4) i.radius = v[3];
  return i;
}

}  // namespace cli
