#include "geom/triangulator.h"

#include <algorithm>
#include <cmath>

#include "geom/predicates.h"

namespace geom {

PolygonProjection PolygonProjection::of(std::span<const Vec3> corners) {
  Vec3 n;
  const std::size_t count = corners.size();
  for (std::size_t i = 0; i < count; ++i) {
    const Vec3& p = corners[i];
    const Vec3& q = corners[(i + 1) % count];
    n.x += (p.y - q.y) * (p.z + q.z);
    n.y += (p.z - q.z) * (p.x + q.x);
    n.z += (p.x - q.x) * (p.y + q.y);
  }
  PolygonProjection proj;
  const double ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
  int drop = 2;
  if (ax >= ay && ax >= az) {
    drop = 0;
  } else if (ay >= az) {
    drop = 1;
  }
  const double dominant = n[drop];
  proj.valid = dominant != 0.0 && std::isfinite(dominant);
  // (drop+1, drop+2) is a right-handed pair, so the polygon runs counter-clockwise in it exactly
  // when the normal points along +drop.
  proj.u = (drop + 1) % 3;
  proj.v = (drop + 2) % 3;
  if (dominant < 0) std::swap(proj.u, proj.v);
  return proj;
}

namespace {

struct EarClipper {
  std::span<const Vec3> pts;
  PolygonProjection proj;
  std::vector<std::uint32_t> prev, next;
  std::vector<char> reflex;
  double flatness = 0;  // heights up to this count as flat

  double x(std::uint32_t i) const { return pts[i][proj.u]; }
  double y(std::uint32_t i) const { return pts[i][proj.v]; }
  int orient(std::uint32_t a, std::uint32_t b, std::uint32_t c) const {
    return orient2d(x(a), y(a), x(b), y(b), x(c), y(c));
  }
  void updateReflex(std::uint32_t i) { reflex[i] = orient(prev[i], i, next[i]) <= 0; }
  // How far the ear at i is from being a sliver or leaving a flat corner behind: the least
  // height of its tip, of its other two corners once it is gone and, when one triangle is left
  // after it, of that triangle's third corner. Clean above `flatness`.
  double score(std::uint32_t i, std::uint32_t remaining) const {
    const std::uint32_t a = prev[i], c = next[i];
    double s = std::min({height(a, i, c), height(prev[a], a, c), height(a, c, next[c])});
    if (remaining == 4) s = std::min(s, height(c, next[c], a));
    return s;
  }
  std::uint32_t clip(std::uint32_t i, std::vector<Triangulator::Triangle>& out,
                     std::uint32_t& remaining) {
    const std::uint32_t a = prev[i], c = next[i];
    out.push_back({a, i, c});
    next[a] = c;
    prev[c] = a;
    --remaining;
    updateReflex(a);
    updateReflex(c);
    return c;
  }
  // Distance of b from the line through a and c, in the projection.
  double height(std::uint32_t a, std::uint32_t b, std::uint32_t c) const {
    const double ux = x(c) - x(a), uy = y(c) - y(a);
    const double cr = std::fabs(ux * (y(b) - y(a)) - uy * (x(b) - x(a)));
    const double l = std::sqrt(ux * ux + uy * uy);
    return l > 0 ? cr / l : 0.0;
  }

  // An ear tip: strictly convex, and no other remaining corner in the closed triangle. Only
  // non-convex corners can lie inside, so only those are tested.
  bool isEar(std::uint32_t i, std::uint32_t remaining) const {
    const std::uint32_t a = prev[i], c = next[i];
    if (reflex[i]) return false;
    std::uint32_t j = next[c];
    for (std::uint32_t k = 0; k + 3 < remaining; ++k, j = next[j]) {
      if (!reflex[j]) continue;
      if (orient(a, i, j) >= 0 && orient(i, c, j) >= 0 && orient(c, a, j) >= 0) return false;
    }
    return true;
  }

  // Clips ears until three corners remain or no ear is found. Returns the corner left to
  // continue from and the number of corners remaining.
  //
  // Ears that are slivers, or that leave a corner flat (so that a sliver must follow), are
  // clipped only when no other ear is left. Corners that were meant to lie on one straight
  // edge (intersection points rounded to double, on the edge of a result face fed back as an
  // operand) are flat; a sliver over them is not flat in 3D: off the face's plane it folds
  // over, the diagonal next to it runs past the corner on the wrong side, and both can cross
  // the face that meets this one along the edge.
  std::uint32_t run(std::vector<Triangulator::Triangle>& out, std::uint32_t& remaining) {
    const std::uint32_t n = static_cast<std::uint32_t>(pts.size());
    prev.resize(n);
    next.resize(n);
    reflex.assign(n, 0);
    double extent = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
      prev[i] = (i + n - 1) % n;
      next[i] = (i + 1) % n;
      extent = std::max({extent, std::fabs(pts[i].x), std::fabs(pts[i].y), std::fabs(pts[i].z)});
    }
    // Above what rounding to float moves a point (a few units in float's last place: results
    // are published in float, and corners that were one straight edge in double come back off
    // it by that much), above how far the Boolean engine lets corners of its results lie off a
    // straight edge (see geom::csg::Snap), far below any feature meant to be there.
    flatness = extent * 0x1p-21;
    for (std::uint32_t i = 0; i < n; ++i) updateReflex(i);
    remaining = n;
    // The search starts at corner 1 and goes on from the corner after each ear, so a convex
    // polygon becomes the fan around its first corner: where a face is not quite planar, the
    // surface that fan-based readers (and volume sums) take it for.
    std::uint32_t cur = 1;
    std::uint32_t misses = 0;
    while (remaining > 3) {
      if (!reflex[cur] && score(cur, remaining) > flatness && isEar(cur, remaining)) {
        cur = clip(cur, out, remaining);
        misses = 0;
        continue;
      }
      cur = next[cur];
      if (++misses <= remaining) continue;
      // No clean ear left: the least bad one.
      std::uint32_t best = n;
      double bestScore = -1;
      for (std::uint32_t k = 0, j = cur; k < remaining; ++k, j = next[j]) {
        if (!isEar(j, remaining)) continue;
        const double sc = score(j, remaining);
        if (sc > bestScore) {
          bestScore = sc;
          best = j;
        }
      }
      if (best == n) break;
      cur = clip(best, out, remaining);
      misses = 0;
    }
    return cur;
  }
};

bool triangulateAsGiven(std::span<const Vec3> corners, std::vector<Triangulator::Triangle>& out) {
  const std::size_t n = corners.size();
  if (n < 3) return false;
  if (n == 3) {
    if (collinear(corners[0], corners[1], corners[2])) return false;
    out.push_back({0, 1, 2});
    return true;
  }
  EarClipper clip{corners, PolygonProjection::of(corners), {}, {}, {}, 0};
  if (!clip.proj.valid) return false;
  const std::size_t mark = out.size();
  std::uint32_t remaining = 0;
  const std::uint32_t cur = clip.run(out, remaining);
  if (remaining == 3 && clip.orient(clip.prev[cur], cur, clip.next[cur]) > 0) {
    out.push_back({clip.prev[cur], cur, clip.next[cur]});
    return true;
  }
  out.resize(mark);
  return false;
}

void triangulateAlwaysAsGiven(std::span<const Vec3> corners,
                              std::vector<Triangulator::Triangle>& out) {
  const std::size_t n = corners.size();
  if (n < 3) return;
  if (n == 3) {
    out.push_back({0, 1, 2});
    return;
  }
  EarClipper clip{corners, PolygonProjection::of(corners), {}, {}, {}, 0};
  if (!clip.proj.valid) {
    for (std::uint32_t i = 1; i + 1 < n; ++i) out.push_back({0, i, i + 1});
    return;
  }
  std::uint32_t remaining = 0;
  std::uint32_t cur = clip.run(out, remaining);
  // Whatever ear clipping left (three corners, or a polygon it found no ear in) becomes a fan
  // around the corner it stopped at.
  std::uint32_t a = cur, b = clip.next[cur];
  for (std::uint32_t k = 0; k + 2 < remaining; ++k) {
    const std::uint32_t c = clip.next[b];
    out.push_back({a, b, c});
    b = c;
  }
}

// Whether the polygon is worked in the other direction: its corners after the first taken in
// reverse order. The choice depends on the corners alone, not on the direction they are given
// in, so a polygon and its reversal with the first corner kept (a face a Boolean result turns
// over) are cut into the same triangles: where the face is not planar, the same surface.
bool workReversed(std::span<const Vec3> c) {
  const Vec3& a = c[1];
  const Vec3& b = c[c.size() - 1];
  if (b.x != a.x) return b.x < a.x;
  if (b.y != a.y) return b.y < a.y;
  return b.z < a.z;
}

// Runs `cut` on the polygon in its working direction, appending the triangles to out in the
// polygon's own corner slots and winding. Returns what `cut` returns.
bool inWorkingDirection(std::span<const Vec3> corners, std::vector<Triangulator::Triangle>& out,
                        bool (*cut)(std::span<const Vec3>, std::vector<Triangulator::Triangle>&)) {
  const std::size_t n = corners.size();
  if (n <= 3 || !workReversed(corners)) return cut(corners, out);
  std::vector<Vec3> reversed(n);
  reversed[0] = corners[0];
  for (std::size_t i = 1; i < n; ++i) reversed[i] = corners[n - i];
  const std::size_t mark = out.size();
  const bool done = cut(std::span<const Vec3>(reversed), out);
  const auto slot = [n](std::uint32_t r) { return static_cast<std::uint32_t>((n - r) % n); };
  for (std::size_t k = mark; k < out.size(); ++k) {
    const Triangulator::Triangle t = out[k];
    out[k] = {slot(t[0]), slot(t[2]), slot(t[1])};
  }
  return done;
}

}  // namespace

bool Triangulator::triangulate(std::span<const Vec3> corners, std::vector<Triangle>& out) {
  return inWorkingDirection(corners, out, triangulateAsGiven);
}

void Triangulator::triangulateAlways(std::span<const Vec3> corners, std::vector<Triangle>& out) {
  inWorkingDirection(corners, out, [](std::span<const Vec3> c, std::vector<Triangle>& o) {
    triangulateAlwaysAsGiven(c, o);
    return true;
  });
}

}  // namespace geom
