#include "cli/contacts.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>
#include <utility>

namespace cli {
namespace {

using geom::Vec3;

// Faces count as facing when their normals are opposite within this angle's cosine (0.8
// degrees): the walls of two neighbouring cells are parallel, and float rounding tilts a small
// face's normal by far less.
constexpr double kFacing = 0.9999;

struct CutFace {
  int part = 0;
  std::size_t face = 0;
  Vec3 normal;  // unit, outward
  Vec3 origin;  // average of the corners
  Vec3 lo, hi;  // box of the corners
};

Vec3 at(std::span<const std::array<float, 3>> points, int i) {
  const auto& p = points[static_cast<std::size_t>(i)];
  return {p[0], p[1], p[2]};
}

struct P2 {
  double x, y;
};

double cross2(const P2& o, const P2& a, const P2& b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Area and first moments of a convex polygon (counter-clockwise).
struct Moments {
  double area = 0, mx = 0, my = 0;
};
Moments momentsOf(const std::vector<P2>& poly) {
  Moments m;
  for (std::size_t i = 0; i < poly.size(); ++i) {
    const P2& p = poly[i];
    const P2& q = poly[(i + 1) % poly.size()];
    const double w = p.x * q.y - q.x * p.y;
    m.area += w / 2;
    m.mx += (p.x + q.x) * w / 6;
    m.my += (p.y + q.y) * w / 6;
  }
  return m;
}

// The part of convex polygon subject (counter-clockwise) inside the counter-clockwise triangle
// clip (Sutherland and Hodgman).
std::vector<P2> clip(std::vector<P2> subject, const std::array<P2, 3>& tri) {
  std::vector<P2> next;
  for (int e = 0; e < 3 && !subject.empty(); ++e) {
    const P2& a = tri[static_cast<std::size_t>(e)];
    const P2& b = tri[static_cast<std::size_t>((e + 1) % 3)];
    next.clear();
    for (std::size_t i = 0; i < subject.size(); ++i) {
      const P2& p = subject[i];
      const P2& q = subject[(i + 1) % subject.size()];
      const double sp = cross2(a, b, p), sq = cross2(a, b, q);
      if (sp >= 0) next.push_back(p);
      if ((sp >= 0) != (sq >= 0)) {
        const double t = sp / (sp - sq);
        next.push_back({p.x + t * (q.x - p.x), p.y + t * (q.y - p.y)});
      }
    }
    subject.swap(next);
  }
  return subject;
}

// A polygon's fan triangles, each counter-clockwise with the weight that makes their sum the
// polygon's indicator (+1 where a triangle turns the polygon's way, -1 where it turns back).
struct Fan {
  std::vector<std::array<P2, 3>> tris;
  std::vector<double> weight;
};
Fan fanOf(const std::vector<P2>& poly) {
  Fan fan;
  double total = 0;
  for (std::size_t k = 1; k + 1 < poly.size(); ++k)
    total += cross2(poly[0], poly[k], poly[k + 1]);
  const double sense = total < 0 ? -1.0 : 1.0;
  for (std::size_t k = 1; k + 1 < poly.size(); ++k) {
    const double s = cross2(poly[0], poly[k], poly[k + 1]);
    if (s == 0) continue;
    if (s > 0) {
      fan.tris.push_back({poly[0], poly[k], poly[k + 1]});
    } else {
      fan.tris.push_back({poly[0], poly[k + 1], poly[k]});
    }
    fan.weight.push_back((s > 0 ? 1.0 : -1.0) * sense);
  }
  return fan;
}

struct Sum {
  double area = 0;
  Vec3 moment, normal;
};

// Cells of a uniform grid over the faces' boxes, for finding the faces near each other.
struct Grid {
  Vec3 origin;
  double size = 1;
  std::array<long long, 3> cell(const Vec3& p) const {
    return {static_cast<long long>(std::floor((p.x - origin.x) / size)),
            static_cast<long long>(std::floor((p.y - origin.y) / size)),
            static_cast<long long>(std::floor((p.z - origin.z) / size))};
  }
  // Exact: the grid has at most a few hundred cells along an axis, counted from its low corner.
  static std::uint64_t key(long long x, long long y, long long z) {
    return static_cast<std::uint64_t>(x) | (static_cast<std::uint64_t>(y) << 21) |
           (static_cast<std::uint64_t>(z) << 42);
  }
};

}  // namespace

std::vector<Contact> findContacts(std::span<const std::array<float, 3>> points,
                                  std::span<const std::vector<int>> faces,
                                  std::span<const int> part, std::span<const std::int32_t> ids,
                                  double maxGap, double minArea) {
  std::vector<CutFace> cf;
  for (std::size_t f = 0; f < faces.size(); ++f) {
    if (ids[f] != -2 || part[f] < 0 || faces[f].size() < 3) continue;
    CutFace c;
    c.part = part[f];
    c.face = f;
    Vec3 newell{};
    c.lo = c.hi = at(points, faces[f][0]);
    for (std::size_t k = 0; k < faces[f].size(); ++k) {
      const Vec3 p = at(points, faces[f][k]);
      const Vec3 q = at(points, faces[f][(k + 1) % faces[f].size()]);
      newell = newell + geom::cross(p, q);
      c.origin = c.origin + p;
      c.lo = {std::min(c.lo.x, p.x), std::min(c.lo.y, p.y), std::min(c.lo.z, p.z)};
      c.hi = {std::max(c.hi.x, p.x), std::max(c.hi.y, p.y), std::max(c.hi.z, p.z)};
    }
    const double len = geom::length(newell);
    if (!(len > 0)) continue;
    c.normal = newell * (1.0 / len);
    c.origin = c.origin * (1.0 / static_cast<double>(faces[f].size()));
    // Widened by half the gap, so that facing faces' boxes overlap.
    const Vec3 pad{maxGap / 2, maxGap / 2, maxGap / 2};
    c.lo = c.lo - pad;
    c.hi = c.hi + pad;
    cf.push_back(c);
  }
  if (cf.size() < 2) return {};

  Grid grid;
  grid.origin = cf[0].lo;
  double extent = 0;
  Vec3 lo = cf[0].lo, hi = cf[0].hi;
  for (const CutFace& c : cf) {
    const Vec3 s = c.hi - c.lo;
    extent += std::max({s.x, s.y, s.z});
    lo = {std::min(lo.x, c.lo.x), std::min(lo.y, c.lo.y), std::min(lo.z, c.lo.z)};
    hi = {std::max(hi.x, c.hi.x), std::max(hi.y, c.hi.y), std::max(hi.z, c.hi.z)};
  }
  grid.origin = lo;
  const Vec3 span = hi - lo;
  // About the size of a face, but never so fine that a large face fills a million cells.
  grid.size = std::max({extent / static_cast<double>(cf.size()),
                        std::max({span.x, span.y, span.z}) / 256, 1e-300});
  std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> cells;
  for (std::uint32_t i = 0; i < cf.size(); ++i) {
    const auto a = grid.cell(cf[i].lo), b = grid.cell(cf[i].hi);
    for (long long x = a[0]; x <= b[0]; ++x)
      for (long long y = a[1]; y <= b[1]; ++y)
        for (long long z = a[2]; z <= b[2]; ++z) cells[Grid::key(x, y, z)].push_back(i);
  }

  std::map<std::pair<int, int>, Sum> sums;
  const double tol = 1e-6 * std::max({span.x, span.y, span.z});
  auto visit = [&](const CutFace& f0, const CutFace& g0) {
    // Roles by part, so the pair is measured the same way whichever face comes first.
    const bool swap = f0.part > g0.part;
    const CutFace& f = swap ? g0 : f0;
    const CutFace& g = swap ? f0 : g0;
    if (geom::dot(f.normal, g.normal) > -kFacing) return;
    Vec3 n = f.normal - g.normal;
    n = n * (1.0 / geom::length(n));
    const double gap = geom::dot(g.origin - f.origin, n);
    if (gap < -tol || gap > maxGap + tol) return;
    const Vec3 helper = std::fabs(n.x) < 0.9 ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
    Vec3 u = geom::cross(n, helper);
    u = u * (1.0 / geom::length(u));
    const Vec3 v = geom::cross(n, u);
    const Vec3 o = f.origin;
    auto project = [&](const CutFace& c) {
      std::vector<P2> poly;
      for (int k : faces[c.face]) {
        const Vec3 d = at(points, k) - o;
        poly.push_back({geom::dot(d, u), geom::dot(d, v)});
      }
      return fanOf(poly);
    };
    const Fan ff = project(f), fg = project(g);
    Moments total;
    for (std::size_t i = 0; i < ff.tris.size(); ++i) {
      const std::vector<P2> subject(ff.tris[i].begin(), ff.tris[i].end());
      for (std::size_t j = 0; j < fg.tris.size(); ++j) {
        const auto piece = clip(subject, fg.tris[j]);
        if (piece.size() < 3) continue;
        const Moments m = momentsOf(piece);
        const double w = ff.weight[i] * fg.weight[j];
        total.area += w * m.area;
        total.mx += w * m.mx;
        total.my += w * m.my;
      }
    }
    if (!(total.area > 0)) return;
    Sum& s = sums[{f.part, g.part}];
    const Vec3 c = o + u * (total.mx / total.area) + v * (total.my / total.area) + n * (gap / 2);
    s.area += total.area;
    s.moment = s.moment + c * total.area;
    s.normal = s.normal + n * total.area;
  };
  for (const auto& [key, list] : cells) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      const CutFace& f = cf[list[i]];
      for (std::size_t j = i + 1; j < list.size(); ++j) {
        const CutFace& g = cf[list[j]];
        if (f.part == g.part) continue;
        const Vec3 l{std::max(f.lo.x, g.lo.x), std::max(f.lo.y, g.lo.y), std::max(f.lo.z, g.lo.z)};
        if (l.x > std::min(f.hi.x, g.hi.x) || l.y > std::min(f.hi.y, g.hi.y) ||
            l.z > std::min(f.hi.z, g.hi.z))
          continue;
        // Each pair once: in the cell that holds the low corner of the boxes' overlap.
        const auto c = grid.cell(l);
        if (Grid::key(c[0], c[1], c[2]) != key) continue;
        visit(f, g);
      }
    }
  }

  std::vector<Contact> out;
  for (const auto& [parts, s] : sums) {
    if (!(s.area > minArea)) continue;
    Contact c;
    c.a = parts.first;
    c.b = parts.second;
    c.area = s.area;
    c.centroid = s.moment * (1.0 / s.area);
    c.normal = s.normal * (1.0 / geom::length(s.normal));
    out.push_back(c);
  }
  return out;
}

}  // namespace cli
