#include "cli/contacts.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace cli {
namespace {

using geom::Vec3;

// Faces count as facing when their normals are opposite within this angle's cosine (0.8
// degrees): the walls of two neighbouring cells are parallel, and float rounding tilts a small
// face's normal by far less.
constexpr double kFacing = 0.9999;

// A wall: the cut faces of one part in one plane (a cell's wall comes out of the cut as several
// polygons), measured against the facing wall as one.
struct CutFace {
  int part = 0;
  std::vector<std::size_t> faces;
  double area = 0;
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

// A convex polygon of at most a triangle clipped by a triangle's three sides: no more than six
// corners, so it lives on the stack (the pair loop below runs millions of times).
struct Small {
  std::array<P2, 8> p;
  int n = 0;
};

// Area and first moments of a convex polygon (counter-clockwise).
struct Moments {
  double area = 0, mx = 0, my = 0;
};
Moments momentsOf(const Small& poly) {
  Moments m;
  for (int i = 0; i < poly.n; ++i) {
    const P2& p = poly.p[static_cast<std::size_t>(i)];
    const P2& q = poly.p[static_cast<std::size_t>((i + 1) % poly.n)];
    const double w = p.x * q.y - q.x * p.y;
    m.area += w / 2;
    m.mx += (p.x + q.x) * w / 6;
    m.my += (p.y + q.y) * w / 6;
  }
  return m;
}

// The part of the counter-clockwise triangle subject inside the counter-clockwise triangle
// clip (Sutherland and Hodgman).
Small clip(const std::array<P2, 3>& subject, const std::array<P2, 3>& tri) {
  Small cur, next;
  for (int k = 0; k < 3; ++k)
    cur.p[static_cast<std::size_t>(k)] = subject[static_cast<std::size_t>(k)];
  cur.n = 3;
  for (int e = 0; e < 3 && cur.n > 0; ++e) {
    const P2& a = tri[static_cast<std::size_t>(e)];
    const P2& b = tri[static_cast<std::size_t>((e + 1) % 3)];
    next.n = 0;
    for (int i = 0; i < cur.n; ++i) {
      const P2& p = cur.p[static_cast<std::size_t>(i)];
      const P2& q = cur.p[static_cast<std::size_t>((i + 1) % cur.n)];
      const double sp = cross2(a, b, p), sq = cross2(a, b, q);
      if (sp >= 0 && next.n < 8) next.p[static_cast<std::size_t>(next.n++)] = p;
      if ((sp >= 0) != (sq >= 0) && next.n < 8) {
        const double t = sp / (sp - sq);
        next.p[static_cast<std::size_t>(next.n++)] = {p.x + t * (q.x - p.x), p.y + t * (q.y - p.y)};
      }
    }
    std::swap(cur, next);
  }
  return cur;
}

struct Box2 {
  double lo[2], hi[2];
  bool overlaps(const Box2& o) const {
    return lo[0] <= o.hi[0] && o.lo[0] <= hi[0] && lo[1] <= o.hi[1] && o.lo[1] <= hi[1];
  }
};
Box2 boxOf(const std::array<P2, 3>& t) {
  return {{std::min({t[0].x, t[1].x, t[2].x}), std::min({t[0].y, t[1].y, t[2].y})},
          {std::max({t[0].x, t[1].x, t[2].x}), std::max({t[0].y, t[1].y, t[2].y})}};
}

// A polygon's fan triangles, each counter-clockwise with the weight that makes their sum the
// polygon's indicator (+1 where a triangle turns the polygon's way, -1 where it turns back).
struct Fan {
  std::vector<std::array<P2, 3>> tris;
  std::vector<Box2> boxes;
  std::vector<double> weight;
};
// Adds the polygon's triangles to fan (its buffers reused: the pair loop would otherwise
// allocate for every pair).
void fanOf(const std::vector<P2>& poly, Fan& fan) {
  double total = 0;
  for (std::size_t k = 1; k + 1 < poly.size(); ++k) total += cross2(poly[0], poly[k], poly[k + 1]);
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
    fan.boxes.push_back(boxOf(fan.tris.back()));
  }
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
  std::vector<CutFace> faceList;
  for (std::size_t f = 0; f < faces.size(); ++f) {
    if (ids[f] != -2 || part[f] < 0 || faces[f].size() < 3) continue;
    CutFace c;
    c.part = part[f];
    c.faces = {f};
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
    c.area = len / 2;
    c.origin = c.origin * (1.0 / static_cast<double>(faces[f].size()));
    faceList.push_back(std::move(c));
  }
  // Walls: each part's faces grouped by plane.
  double extentAll = 0;
  for (const CutFace& c : faceList) {
    const Vec3 s = c.hi - c.lo;
    extentAll = std::max({extentAll, s.x, s.y, s.z});
  }
  std::stable_sort(faceList.begin(), faceList.end(),
                   [](const CutFace& a, const CutFace& b) { return a.part < b.part; });
  std::vector<CutFace> cf;
  std::vector<double> weight;  // area summed into each wall's normal and origin so far
  for (std::size_t first = 0, last = 0; first < faceList.size(); first = last) {
    while (last < faceList.size() && faceList[last].part == faceList[first].part) ++last;
    const std::size_t begin = cf.size();
    for (std::size_t i = first; i < last; ++i) {
      const CutFace& c = faceList[i];
      std::size_t w = begin;
      for (; w < cf.size(); ++w) {
        if (geom::dot(cf[w].normal, c.normal) > kFacing &&
            std::fabs(geom::dot(c.origin - cf[w].origin, cf[w].normal)) <= 1e-6 * extentAll)
          break;
      }
      if (w == cf.size()) {
        cf.push_back(c);
        continue;
      }
      CutFace& wall = cf[w];
      const double a = wall.area, b = c.area, t = a + b > 0 ? b / (a + b) : 0.5;
      wall.faces.push_back(c.faces[0]);
      wall.origin = wall.origin + (c.origin - wall.origin) * t;
      const Vec3 n = wall.normal * a + c.normal * b;
      if (geom::length(n) > 0) wall.normal = n * (1.0 / geom::length(n));
      wall.area = a + b;
      wall.lo = {std::min(wall.lo.x, c.lo.x), std::min(wall.lo.y, c.lo.y),
                 std::min(wall.lo.z, c.lo.z)};
      wall.hi = {std::max(wall.hi.x, c.hi.x), std::max(wall.hi.y, c.hi.y),
                 std::max(wall.hi.z, c.hi.z)};
    }
  }
  // Widened by half the gap, so that facing walls' boxes overlap.
  const Vec3 pad{maxGap / 2, maxGap / 2, maxGap / 2};
  for (CutFace& c : cf) {
    c.lo = c.lo - pad;
    c.hi = c.hi + pad;
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
  grid.size = std::max(
      {extent / static_cast<double>(cf.size()), std::max({span.x, span.y, span.z}) / 256, 1e-300});
  // (cell, face) for every cell a face's box touches, sorted by cell: the faces of a cell are
  // a run of it.
  std::vector<std::pair<std::uint64_t, std::uint32_t>> entries;
  for (std::uint32_t i = 0; i < cf.size(); ++i) {
    const auto a = grid.cell(cf[i].lo), b = grid.cell(cf[i].hi);
    for (long long x = a[0]; x <= b[0]; ++x)
      for (long long y = a[1]; y <= b[1]; ++y)
        for (long long z = a[2]; z <= b[2]; ++z) entries.push_back({Grid::key(x, y, z), i});
  }
  std::sort(entries.begin(), entries.end());
  std::map<std::pair<int, int>, Sum> sums;
  const double tol = 1e-6 * std::max({span.x, span.y, span.z});
  std::vector<P2> poly;
  Fan ff, fg;
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
    auto project = [&](const CutFace& c, Fan& fan) {
      fan.tris.clear();
      fan.boxes.clear();
      fan.weight.clear();
      for (std::size_t face : c.faces) {
        poly.clear();
        for (int k : faces[face]) {
          const Vec3 d = at(points, k) - o;
          poly.push_back({geom::dot(d, u), geom::dot(d, v)});
        }
        fanOf(poly, fan);
      }
    };
    project(f, ff);
    project(g, fg);
    Moments total;
    for (std::size_t i = 0; i < ff.tris.size(); ++i) {
      for (std::size_t j = 0; j < fg.tris.size(); ++j) {
        if (!ff.boxes[i].overlaps(fg.boxes[j])) continue;
        const Small piece = clip(ff.tris[i], fg.tris[j]);
        if (piece.n < 3) continue;
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
  // Faces that face each other have opposite normals, so their projections on any direction are
  // nearly opposite: within a cell, the faces sorted by the projection of their normal on a
  // fixed direction, each face looks only at the few whose projection is near minus its own.
  const Vec3 axis{0.5773502691896258, 0.5773502691896257, 0.5773502691896259};
  const double slack = std::sqrt(2 * (1 - kFacing)) + 1e-9;  // |n_f + n_g| for facing faces
  std::vector<std::pair<double, std::uint32_t>> run;
  for (std::size_t first = 0, last = 0; first < entries.size(); first = last) {
    const std::uint64_t key = entries[first].first;
    while (last < entries.size() && entries[last].first == key) ++last;
    run.clear();
    for (std::size_t i = first; i < last; ++i) {
      run.push_back({geom::dot(cf[entries[i].second].normal, axis), entries[i].second});
    }
    std::sort(run.begin(), run.end());
    for (const auto& [proj, fi] : run) {
      const CutFace& f = cf[fi];
      auto it = std::lower_bound(run.begin(), run.end(),
                                 std::pair<double, std::uint32_t>{-proj - slack, 0});
      for (; it != run.end() && it->first <= -proj + slack; ++it) {
        if (it->second <= fi) continue;  // each pair from its lower face
        const CutFace& g = cf[it->second];
        if (f.part == g.part || geom::dot(f.normal, g.normal) > -kFacing) continue;
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
