#include "geom/csg_crossing.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <unordered_map>

namespace geom::csg {

namespace {

enum class Pairing { None, Touching, Crossing };

struct Corners {
  const Pending& p;
  std::vector<std::uint32_t> faceOf;  // per corner slot

  explicit Corners(const Pending& pending) : p(pending), faceOf(pending.corners.size()) {
    for (std::size_t f = 0; f + 1 < p.offsets.size(); ++f) {
      for (std::uint32_t i = p.offsets[f]; i < p.offsets[f + 1]; ++i) {
        faceOf[i] = static_cast<std::uint32_t>(f);
      }
    }
  }
  std::uint32_t next(std::uint32_t i) const {
    const std::uint32_t f = faceOf[i];
    return i + 1 == p.offsets[f + 1] ? p.offsets[f] : i + 1;
  }
  std::uint32_t prev(std::uint32_t i) const {
    const std::uint32_t f = faceOf[i];
    return i == p.offsets[f] ? p.offsets[f + 1] - 1 : i - 1;
  }
};

Vec3 newellNormal(const Keys& keys, const Pending& p, std::uint32_t f) {
  Vec3 n{0, 0, 0};
  const std::uint32_t b = p.offsets[f], e = p.offsets[f + 1];
  for (std::uint32_t i = b; i < e; ++i) {
    const Vec3& a = keys.position[p.corners[i]];
    const Vec3& c = keys.position[p.corners[i + 1 == e ? b : i + 1]];
    n = n + cross(a, c);
  }
  return n;
}

// Pairs the sides of an edge that more than two faces share: each side (the corner slot where
// its face leaves the edge's first end) goes with the nearest side around the edge in the
// direction of the solid it bounds (Touching), or, where rounding made the sheets cross along
// the edge, with a side next to it around the edge that runs the other way (Crossing). Returns
// None when neither pairs every side.
Pairing pairAround(const Keys& keys, const Pending& p, const Corners& c,
                   const std::vector<std::uint32_t>& sides,
                   std::vector<std::pair<std::uint32_t, std::uint32_t>>& pairs) {
  const int lo = std::min(p.corners[sides[0]], p.corners[c.next(sides[0])]);
  const int hi = std::max(p.corners[sides[0]], p.corners[c.next(sides[0])]);
  Vec3 e = keys.position[hi] - keys.position[lo];
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
    const Vec3 normal = newellNormal(keys, p, c.faceOf[i]);
    const Vec3 along = keys.position[p.corners[c.next(i)]] - keys.position[p.corners[i]];
    const Vec3 into = cross(normal, along);  // a face lies left of its edges, seen from outside
    angle[k] = std::atan2(dot(into, y), dot(into, x));
    const double s = dot(cross(into, normal * -1.0), e);
    if (s == 0) return Pairing::None;
    turn[k] = s > 0 ? 1 : -1;
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
    return p.corners[sides[k]] != p.corners[sides[m]];
  };
  bool mutual = true;
  for (std::size_t k = 0; k < n && mutual; ++k) {
    const int m = partner[k];
    mutual = m >= 0 && partner[m] == static_cast<int>(k) && opposite(k, m);
  }
  if (mutual) {
    for (std::size_t k = 0; k < n; ++k) {
      if (static_cast<int>(k) < partner[k]) pairs.emplace_back(sides[k], sides[partner[k]]);
    }
    return Pairing::Touching;
  }
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

CrossingSplit splitWhereSheetsCross(const Keys& keys, const Pending& p) {
  CrossingSplit out;
  const Corners c(p);
  const std::size_t slots = p.corners.size();
  std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> sides;
  sides.reserve(slots);
  for (std::uint32_t i = 0; i < slots; ++i) {
    const int u = p.corners[i], v = p.corners[c.next(i)];
    sides[directedKey(std::min(u, v), std::max(u, v))].push_back(i);
  }
  // Sides paired across each edge; corner slots at one vertex joined across paired sides.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
  pairs.reserve(slots / 2);
  std::vector<std::uint8_t> crossing(keys.count, 0);  // ends of edges where sheets cross
  for (const auto& [edge, list] : sides) {
    if (list.size() == 2) {
      if (p.corners[list[0]] == p.corners[list[1]]) return out;  // wound the same way twice
      pairs.emplace_back(list[0], list[1]);
      continue;
    }
    if (list.size() % 2 != 0) return out;  // open
    const Pairing how = pairAround(keys, p, c, list, pairs);
    if (how == Pairing::None) return out;
    if (how == Pairing::Crossing) {
      crossing[static_cast<std::uint32_t>(edge >> 32)] = 1;
      crossing[static_cast<std::uint32_t>(edge)] = 1;
    }
  }
  std::vector<std::uint32_t> parent(slots);
  for (std::uint32_t i = 0; i < slots; ++i) parent[i] = i;
  auto find = [&](std::uint32_t i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
  };
  for (const auto& [i, j] : pairs) {
    // i runs a -> b, j runs b -> a: at b, the slot after i is j's; at a, i's is the one after j.
    parent[find(c.next(i))] = find(j);
    parent[find(i)] = find(c.next(j));
  }
  // One key per fan at the ends of edges where sheets cross: the first fan met at a vertex keeps
  // its key. Elsewhere the result touching itself is a valid result, and stays as it is.
  std::vector<std::int64_t> fanOf(keys.count, -1);
  std::unordered_map<std::uint32_t, int> copyOf;
  std::vector<std::pair<std::uint32_t, int>> copies;  // slot -> new key
  for (std::uint32_t i = 0; i < slots; ++i) {
    const int v = p.corners[i];
    const std::uint32_t root = find(i);
    if (fanOf[v] < 0) fanOf[v] = root;
    if (fanOf[v] == root || !crossing[v]) continue;
    const auto [it, fresh] = copyOf.emplace(root, static_cast<int>(keys.count + copyOf.size()));
    copies.emplace_back(i, it->second);
  }
  if (copies.empty()) return out;
  out.keys = keys;
  out.pending = p;
  out.firstCopy = keys.count;
  out.sourceOf.resize(copyOf.size());
  for (const auto& [i, k] : copies) {
    out.sourceOf[k - keys.count] = p.corners[i];
    out.pending.corners[i] = k;
  }
  for (const int v : out.sourceOf) {
    out.keys.position.push_back(keys.position[v]);
    for (std::vector<int>& original : out.keys.original) original.push_back(-1);
  }
  out.keys.count += out.sourceOf.size();
  // Every key at the position of a copy moves, the original one too: each goes into its own
  // sheet, so none of them stays on what the others leave.
  std::map<int, std::vector<int>> group;  // by the key copied
  for (std::size_t k = 0; k < out.sourceOf.size(); ++k) {
    std::vector<int>& g = group[out.sourceOf[k]];
    if (g.empty()) g.push_back(out.sourceOf[k]);
    g.push_back(static_cast<int>(keys.count + k));
  }
  for (auto& [source, g] : group) {
    for (const int k : g) {
      for (std::vector<int>& original : out.keys.original) original[k] = -1;
    }
    out.groups.push_back(std::move(g));
  }
  return out;
}

void joinAgain(const std::vector<int>& group, CrossingSplit& s) {
  const int source = group.front();
  for (int& k : s.pending.corners) {
    if (k >= static_cast<int>(s.firstCopy) && s.sourceOf[k - s.firstCopy] == source) k = source;
  }
}

void moveApart(const Grid& grid, const std::vector<int>& group, int toward, double steps,
               CrossingSplit& s) {
  Keys& keys = s.keys;
  const Pending& p = s.pending;
  const Vec3 at = keys.position[group.front()];
  std::vector<std::uint8_t> moving(keys.count, 0);
  for (const int k : group) moving[k] = 1;
  std::vector<Vec3> dir(keys.count, Vec3{0, 0, 0});
  for (std::size_t f = 0; f + 1 < p.offsets.size(); ++f) {
    const std::uint32_t b = p.offsets[f], n = p.offsets[f + 1] - b;
    Vec3 normal{0, 0, 0};
    bool any = false;
    for (std::uint32_t i = 0; i < n; ++i) any = any || moving[p.corners[b + i]];
    if (!any) continue;
    if (toward == 1) normal = newellNormal(keys, p, static_cast<std::uint32_t>(f));
    for (std::uint32_t i = 0; i < n; ++i) {
      const int v = p.corners[b + i];
      if (!moving[v]) continue;
      if (toward == 1) {
        dir[v] = dir[v] - normal;
      } else {
        const Vec3& before = keys.position[p.corners[b + (i + n - 1) % n]];
        const Vec3& after = keys.position[p.corners[b + (i + 1) % n]];
        dir[v] = dir[v] + before + after - at * 2.0;
      }
    }
  }
  const double step = std::max(grid.spacing(at), 1e-15 * length(at));
  for (const int v : group) {
    const double len = length(dir[v]);
    keys.position[v] = len > 0 ? grid.round(at + dir[v] * (steps * step / len)) : at;
  }
}

}  // namespace geom::csg
