#include "geom/csg/sheets.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <unordered_map>

namespace geom::csg {

namespace {

enum class Pairing { None, Touching, Crossing };

// The polygons as corner slots: slot i is corner i of the flat corner list.
struct Surface {
  std::span<const Vec3> points;
  std::span<const std::uint32_t> offsets;
  std::span<const int> corners;
  std::vector<std::uint32_t> faceOf;  // per corner slot

  Surface(std::span<const Vec3> pts, std::span<const std::uint32_t> offs, std::span<const int> cs)
      : points(pts), offsets(offs), corners(cs), faceOf(cs.size()) {
    for (std::size_t f = 0; f + 1 < offsets.size(); ++f) {
      for (std::uint32_t i = offsets[f]; i < offsets[f + 1]; ++i) {
        faceOf[i] = static_cast<std::uint32_t>(f);
      }
    }
  }
  std::uint32_t next(std::uint32_t i) const {
    const std::uint32_t f = faceOf[i];
    return i + 1 == offsets[f + 1] ? offsets[f] : i + 1;
  }
  const Vec3& at(std::uint32_t i) const { return points[corners[i]]; }
  Vec3 normal(std::uint32_t f) const {
    Vec3 n{0, 0, 0};
    for (std::uint32_t i = offsets[f]; i < offsets[f + 1]; ++i) n = n + cross(at(i), at(next(i)));
    return n;
  }
};

// Pairs the sides of an edge that more than two faces share: each side (the corner slot where
// its face leaves the edge's first end) goes with the nearest side around the edge in the
// direction of the solid it bounds (Touching), or, where rounding made the sheets cross along
// the edge, with a side next to it around the edge that runs the other way (Crossing). Returns
// None when neither pairs every side (but one, of an odd number).
Pairing pairAround(const Surface& s, const std::vector<std::uint32_t>& sides,
                   std::vector<std::pair<std::uint32_t, std::uint32_t>>& pairs) {
  const int lo = std::min(s.corners[sides[0]], s.corners[s.next(sides[0])]);
  const int hi = std::max(s.corners[sides[0]], s.corners[s.next(sides[0])]);
  Vec3 e = s.points[hi] - s.points[lo];
  const double len = length(e);
  if (!(len > 0)) return Pairing::None;
  e = e * (1.0 / len);
  Vec3 x = std::abs(e.x) < 0.6 ? cross(e, Vec3{1, 0, 0}) : cross(e, Vec3{0, 1, 0});
  x = x * (1.0 / length(x));
  const Vec3 y = cross(e, x);
  const std::size_t n = sides.size();
  std::vector<double> angle(n);
  std::vector<int> turn(n);  // +1: the solid lies at growing angles from the side
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint32_t i = sides[k];
    const Vec3 normal = s.normal(s.faceOf[i]);
    const Vec3 along = s.at(s.next(i)) - s.at(i);
    const Vec3 into = cross(normal, along);  // a face lies left of its edges, seen from outside
    angle[k] = std::atan2(dot(into, y), dot(into, x));
    const double side = dot(cross(into, normal * -1.0), e);
    if (side == 0) return Pairing::None;
    turn[k] = side > 0 ? 1 : -1;
  }
  std::vector<int> partner(n, -1);
  for (std::size_t k = 0; k < n; ++k) {
    double best = 3 * std::numbers::pi;
    for (std::size_t m = 0; m < n; ++m) {
      if (m == k) continue;
      double gap = (angle[m] - angle[k]) * turn[k];
      if (gap <= 0) gap += 2 * std::numbers::pi;
      if (gap < best) {
        best = gap;
        partner[k] = static_cast<int>(m);
      }
    }
  }
  // Partners run along the edge in opposite directions, and choose each other.
  auto opposite = [&](std::size_t k, std::size_t m) {
    return s.corners[sides[k]] != s.corners[sides[m]];
  };
  // Of an odd number of sides, one is left without a partner, as a border: where an open sheet
  // ends on a solid, the solid's own sides choose each other and the sheet's side stays alone.
  std::size_t alone = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const int m = partner[k];
    if (!(m >= 0 && partner[m] == static_cast<int>(k) && opposite(k, m))) ++alone;
  }
  if (alone == n % 2) {
    for (std::size_t k = 0; k < n; ++k) {
      const int m = partner[k];
      if (static_cast<int>(k) < m && partner[m] == static_cast<int>(k) && opposite(k, m))
        pairs.emplace_back(sides[k], sides[m]);
    }
    return Pairing::Touching;
  }
  if (n % 2 != 0) return Pairing::None;
  // Rounded onto the grid, sheets that meet at a hair's angle can come to cross along the
  // edge, and the sides no longer alternate around it. Sides next to each other around the
  // edge are paired then, as long as each pair runs both ways: the operand check decides whether
  // what comes of it can stand.
  std::vector<std::size_t> order(n);
  for (std::size_t k = 0; k < n; ++k) order[k] = k;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return angle[a] < angle[b] || (angle[a] == angle[b] && a < b);
  });
  for (std::size_t shift = 0; shift < 2; ++shift) {
    bool ok = true;
    for (std::size_t j = 0; j < n && ok; j += 2) {
      ok = opposite(order[(shift + j) % n], order[(shift + j + 1) % n]);
    }
    if (!ok) continue;
    for (std::size_t j = 0; j < n; j += 2) {
      pairs.emplace_back(sides[order[(shift + j) % n]], sides[order[(shift + j + 1) % n]]);
    }
    return Pairing::Crossing;
  }
  return Pairing::None;
}

}  // namespace

std::optional<Sheets> splitSheets(std::span<const Vec3> points,
                                  std::span<const std::uint32_t> offsets,
                                  std::span<const int> corners, SplitAt where) {
  const Surface s(points, offsets, corners);
  const std::size_t slots = corners.size();
  // The sides of each edge: slots ordered by their edge's lower end, then its upper end, then
  // slot, by two stable counting sorts (by the upper end, then by the lower). Linear in the
  // corners, without a hash of every edge or a sort per vertex.
  std::vector<std::uint32_t> lowerOf(slots), upperOf(slots);
  for (std::uint32_t i = 0; i < slots; ++i) {
    const int a = corners[i], b = corners[s.next(i)];
    lowerOf[i] = static_cast<std::uint32_t>(std::min(a, b));
    upperOf[i] = static_cast<std::uint32_t>(std::max(a, b));
  }
  const auto upper = [&](std::uint32_t i) { return static_cast<int>(upperOf[i]); };
  std::vector<std::uint32_t> first(points.size() + 1, 0), bySide(slots);
  {
    std::vector<std::uint32_t> count(points.size() + 1, 0), byUpper(slots);
    for (std::uint32_t i = 0; i < slots; ++i) ++count[upperOf[i] + 1];
    for (std::size_t v = 0; v < points.size(); ++v) count[v + 1] += count[v];
    for (std::uint32_t i = 0; i < slots; ++i) byUpper[count[upperOf[i]]++] = i;
    for (std::uint32_t i = 0; i < slots; ++i) ++first[lowerOf[i] + 1];
    for (std::size_t v = 0; v < points.size(); ++v) first[v + 1] += first[v];
    std::vector<std::uint32_t> fill(first.begin(), first.end() - 1);
    for (const std::uint32_t i : byUpper) bySide[fill[lowerOf[i]]++] = i;
  }
  // Sides paired across each edge; corner slots at one vertex joined across paired sides.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
  pairs.reserve(slots / 2);
  std::vector<std::uint8_t> split(points.size(), where == SplitAt::Everywhere ? 1 : 0);
  std::vector<std::uint32_t> list;
  for (std::size_t v = 0; v < points.size(); ++v) {
    const auto begin = bySide.begin() + first[v], end = bySide.begin() + first[v + 1];
    for (auto run = begin; run != end;) {
      auto stop = run;
      while (stop != end && upper(*stop) == upper(*run)) ++stop;
      list.assign(run, stop);
      run = stop;
      if (list.size() == 2) {
        if (corners[list[0]] == corners[list[1]]) return std::nullopt;  // one way twice
        pairs.emplace_back(list[0], list[1]);
        continue;
      }
      if (list.size() == 1) continue;  // a border
      const Pairing how = pairAround(s, list, pairs);
      if (how == Pairing::None) return std::nullopt;
      if (how == Pairing::Crossing) {
        split[v] = 1;
        split[upper(list[0])] = 1;
      }
    }
  }
  Sheets out;
  out.corners.assign(corners.begin(), corners.end());
  // Nothing to split (the common case at crossings): no fans to find.
  if (std::find(split.begin(), split.end(), 1) == split.end()) return out;
  std::vector<std::uint32_t> parent(slots);
  for (std::uint32_t i = 0; i < slots; ++i) parent[i] = i;
  auto find = [&](std::uint32_t i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
  };
  for (const auto& [i, j] : pairs) {
    // i runs a -> b, j runs b -> a: at b, the slot after i is j's; at a, i's is the one after j.
    parent[find(s.next(i))] = find(j);
    parent[find(i)] = find(s.next(j));
  }
  // One vertex per fan: the first fan met at a vertex keeps it.
  std::vector<std::int64_t> fanOf(points.size(), -1);
  std::unordered_map<std::uint32_t, int> copyOf;
  for (std::uint32_t i = 0; i < slots; ++i) {
    const int v = corners[i];
    const std::uint32_t root = find(i);
    if (fanOf[v] < 0) fanOf[v] = root;
    if (fanOf[v] == root || !split[v]) continue;
    const auto [it, fresh] =
        copyOf.emplace(root, static_cast<int>(points.size() + out.sourceOf.size()));
    if (fresh) out.sourceOf.push_back(v);
    out.corners[i] = it->second;
  }
  return out;
}

}  // namespace geom::csg
