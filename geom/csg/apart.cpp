#include "geom/csg/apart.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <span>
#include <unordered_map>
#include <utility>

#include "geom/csg/pending.h"
#include "geom/csg/self_intersection.h"
#include "geom/error.h"
#include "geom/predicates.h"

namespace geom::csg {

void splitPinches(std::vector<int>& corners, std::vector<Vec3>& points) {
  const std::size_t nc = corners.size();
  std::unordered_map<std::uint64_t, std::uint32_t> edgeCorner;  // directed edge -> its corner
  std::unordered_map<std::uint64_t, int> uses;
  for (std::size_t c = 0; c < nc; ++c) {
    const std::size_t t = c / 3;
    const int u = corners[c], v = corners[3 * t + (c + 1) % 3];
    edgeCorner[directedKey(u, v)] = static_cast<std::uint32_t>(c);
    ++uses[directedKey(std::min(u, v), std::max(u, v))];
  }
  // Corner slots joined when their triangles share an edge at the corner's vertex.
  std::vector<std::uint32_t> parent(nc);
  for (std::size_t c = 0; c < nc; ++c) parent[c] = static_cast<std::uint32_t>(c);
  auto find = [&](std::uint32_t c) {
    while (parent[c] != c) c = parent[c] = parent[parent[c]];
    return c;
  };
  for (std::size_t c = 0; c < nc; ++c) {
    const std::size_t t = c / 3;
    const int v = corners[c], next = corners[3 * t + (c + 1) % 3];
    if (uses[directedKey(std::min(v, next), std::max(v, next))] != 2) continue;
    const auto across = edgeCorner.find(directedKey(next, v));
    if (across == edgeCorner.end()) continue;
    // The other triangle's corner at v is the one after its corner at next.
    const std::uint32_t o = across->second;
    const std::uint32_t atV = static_cast<std::uint32_t>(3 * (o / 3) + (o + 1) % 3);
    parent[find(static_cast<std::uint32_t>(c))] = find(atV);
  }
  std::vector<std::int64_t> fanOf(points.size(), -1);  // the first fan root seen per vertex
  std::unordered_map<std::uint32_t, int> copyOf;       // further fan roots -> their vertex
  for (std::size_t c = 0; c < nc; ++c) {
    const int v = corners[c];
    const std::uint32_t root = find(static_cast<std::uint32_t>(c));
    if (fanOf[v] < 0) fanOf[v] = root;
    if (fanOf[v] == root) continue;
    const auto [it, fresh] = copyOf.emplace(root, static_cast<int>(points.size()));
    if (fresh) points.push_back(points[v]);
    corners[c] = it->second;
  }
}

std::vector<int> separateTouching(const Grid& grid, const std::vector<std::uint32_t>& offsets,
                                  const std::vector<int>& corners, int toward, double steps,
                                  std::vector<Vec3>& points) {
  std::map<std::array<double, 3>, int> first;
  std::vector<int> moving;
  std::vector<std::uint8_t> shared(points.size(), 0);
  for (std::size_t v = 0; v < points.size(); ++v) {
    const Vec3& p = points[v];
    const auto [it, fresh] =
        first.emplace(std::array<double, 3>{p.x, p.y, p.z}, static_cast<int>(v));
    if (fresh) continue;
    moving.push_back(static_cast<int>(v));
    // Along a curve where sheets crossed, which sheet holds the first vertex changes from one
    // vertex to the next; pulled back one sheet here and the other there, they would cross
    // between. Along the bisectors every sheet pulls back, the first too.
    if (toward == 2 && !shared[it->second]) moving.push_back(it->second);
    shared[it->second] = 1;
  }
  if (moving.empty()) return moving;
  std::vector<Vec3> dir(points.size());
  for (std::size_t f = 0; f + 1 < offsets.size(); ++f) {
    const int c[3] = {corners[offsets[f]], corners[offsets[f] + 1], corners[offsets[f] + 2]};
    const Vec3 n = cross(points[c[1]] - points[c[0]], points[c[2]] - points[c[0]]);
    for (int k = 0; k < 3; ++k) {
      const int v = c[k];
      const Vec3 a = points[c[(k + 1) % 3]] - points[v], b = points[c[(k + 2) % 3]] - points[v];
      if (toward == 0) {
        dir[v] = dir[v] + a + b;
      } else if (toward == 1) {
        dir[v] = dir[v] - n;
      } else {
        // The bisector of the corner, weighted by its angle: a needle along the curve (its far
        // corner nearly on the curve's line) barely counts, where toward the middle of the
        // neighbours it would pull the vertex along the curve.
        const double la = length(a), lb = length(b);
        if (!(la > 0 && lb > 0)) continue;
        const Vec3 ua = a * (1.0 / la), ub = b * (1.0 / lb);
        const double angle = std::atan2(length(cross(ua, ub)), dot(ua, ub));
        const Vec3 bisector = ua + ub;
        const double lbis = length(bisector);
        if (lbis > 0) dir[v] = dir[v] + bisector * (angle / lbis);
      }
    }
  }
  for (int v : moving) {
    const double ln = length(dir[v]);
    if (!(ln > 0)) continue;
    const double step = std::max(grid.spacing(points[v]), 1e-15 * length(points[v]));
    points[v] = grid.round(points[v] + dir[v] * (steps * step / ln));
  }
  return moving;
}

std::unordered_map<std::uint64_t, int> middlesOfCrowdedEdges(
    std::size_t faceCount, const std::function<std::span<const int>(std::size_t)>& face,
    std::vector<Vec3>& points) {
  std::unordered_map<std::uint64_t, int> uses;
  for (std::size_t f = 0; f < faceCount; ++f) {
    const std::span<const int> c = face(f);
    for (std::size_t i = 0; i < c.size(); ++i) {
      const int u = c[i], v = c[(i + 1) % c.size()];
      ++uses[directedKey(std::min(u, v), std::max(u, v))];
    }
  }
  std::vector<std::uint64_t> crowded;
  for (const auto& [edge, n] : uses) {
    if (n > 2) crowded.push_back(edge);
  }
  std::sort(crowded.begin(), crowded.end());  // the new vertices numbered the same every run
  std::unordered_map<std::uint64_t, int> middle;
  for (const std::uint64_t edge : crowded) {
    const int u = static_cast<int>(edge >> 32), v = static_cast<int>(edge & 0xffffffffu);
    middle.emplace(edge, static_cast<int>(points.size()));
    points.push_back((points[u] + points[v]) * 0.5);
  }
  return middle;
}

ResolvedOperand splitSharedEdges(std::vector<Vec3> points,
                                 const std::vector<std::array<int, 3>>& tris,
                                 const std::vector<std::uint32_t>& source) {
  const std::unordered_map<std::uint64_t, int> middle = middlesOfCrowdedEdges(
      tris.size(), [&](std::size_t t) { return std::span<const int>(tris[t]); }, points);
  ResolvedOperand r;
  std::vector<std::uint32_t> offsets{0};
  std::vector<int> corners;
  std::vector<int> ring;
  for (std::size_t t = 0; t < tris.size(); ++t) {
    ring.clear();
    int apex = -1;  // a middle vertex: the triangles fanned from it have area
    for (int k = 0; k < 3; ++k) {
      const int u = tris[t][k], v = tris[t][(k + 1) % 3];
      ring.push_back(u);
      const auto at = middle.find(directedKey(std::min(u, v), std::max(u, v)));
      if (at == middle.end()) continue;
      if (apex < 0) apex = static_cast<int>(ring.size());
      ring.push_back(at->second);
    }
    const std::size_t n = ring.size();
    const std::size_t a = apex < 0 ? 0 : static_cast<std::size_t>(apex);
    for (std::size_t i = 1; i + 1 < n; ++i) {
      corners.insert(corners.end(), {ring[a], ring[(a + i) % n], ring[(a + i + 1) % n]});
      offsets.push_back(static_cast<std::uint32_t>(corners.size()));
      r.sourceFace.push_back(source[t]);
    }
  }
  r.mesh = Polyhedron(std::move(points), std::move(offsets), std::move(corners));
  return r;
}

namespace {

// Per vertex, the way (index into ways) it is moved; the positions that gives.
std::vector<Vec3> placedBy(const std::vector<std::vector<Vec3>>& ways,
                           const std::vector<int>& way) {
  std::vector<Vec3> points(way.size());
  for (std::size_t v = 0; v < way.size(); ++v) points[v] = ways[way[v]][v];
  return points;
}

// Where no one way sets every place apart (sheets fold differently along one curve), each
// vertex of a pair of triangles that still meet tries another way (the one listed before its
// own, round the list), the others keep theirs, until no pair meets or the rounds run out. Returns
// the ways of the round with the fewest pairs, and that count.
std::pair<std::vector<int>, std::size_t> mixWays(const std::vector<std::vector<Vec3>>& ways,
                                                 const std::vector<std::array<int, 3>>& tris,
                                                 std::size_t first) {
  const std::size_t nv = ways[0].size();
  std::vector<int> way(nv, static_cast<int>(first));
  std::vector<std::vector<std::uint32_t>> trisAt(nv);
  for (std::size_t t = 0; t < tris.size(); ++t) {
    for (int v : tris[t]) trisAt[v].push_back(static_cast<std::uint32_t>(t));
  }
  std::vector<std::uint32_t> group(tris.size());
  for (std::size_t t = 0; t < tris.size(); ++t) group[t] = static_cast<std::uint32_t>(t);
  std::vector<std::uint8_t> fresh(tris.size(), 1), meets(tris.size(), 0);
  std::vector<int> turned(nv, 0);  // the round (plus one) in which the vertex last changed way
  std::pair<std::vector<int>, std::size_t> best{way, SIZE_MAX};
  std::size_t pairs = 0;
  constexpr int kRounds = 3 * 9;
  for (int round = 0; round <= kRounds; ++round) {
    const std::vector<Vec3> points = placedBy(ways, way);
    std::fill(meets.begin(), meets.end(), 0);
    pairs = 0;
    // Only pairs with a fresh triangle (one that met, or moved) are tested: two triangles that
    // did not move and did not meet still do not meet.
    meetingTriangles(points, tris, fresh, group, [&](std::size_t a, std::size_t b) {
      ++pairs;
      meets[a] = meets[b] = 1;
    });
    if (pairs < best.second) best = {way, pairs};
    if (pairs == 0 || round == kRounds) break;
    std::fill(fresh.begin(), fresh.end(), 0);
    bool moved = false;
    for (std::size_t t = 0; t < tris.size(); ++t) {
      if (!meets[t]) continue;
      fresh[t] = 1;
      for (int v : tris[t]) {
        // Each vertex moves once a round, however many of its triangles meet another; one that
        // no way moves stays.
        if (turned[v] == round + 1 || ways[0][v] == ways[ways.size() - 1][v]) continue;
        turned[v] = round + 1;
        int next = way[v];
        // A way that leaves a triangle around v without area is passed over.
        for (std::size_t k = 1; k < ways.size(); ++k) {
          const int w = static_cast<int>((way[v] + ways.size() - k) % ways.size());
          bool flat = false;
          for (std::uint32_t u : trisAt[v]) {
            const auto& c = tris[u];
            auto at = [&](int x) { return x == v ? ways[w][x] : points[x]; };
            flat = flat || collinear(at(c[0]), at(c[1]), at(c[2]));
          }
          if (!flat) {
            next = w;
            break;
          }
        }
        if (next == way[v]) continue;
        way[v] = next;
        moved = true;
        for (std::uint32_t u : trisAt[v]) fresh[u] = 1;
      }
    }
    if (!moved) break;
  }
  return best;
}

}  // namespace

ResolvedOperand setSheetsApart(const TriangulatedOperand& op, const Grid& grid, bool bestEffort) {
  ResolvedOperand r;
  std::vector<std::uint32_t> offsets{0};
  std::vector<int> corners;
  corners.reserve(3 * op.tris.size());
  for (std::size_t t = 0; t < op.tris.size(); ++t) {
    corners.insert(corners.end(), op.tris[t].begin(), op.tris[t].end());
    offsets.push_back(static_cast<std::uint32_t>(corners.size()));
  }
  r.sourceFace = op.triFace;
  const std::vector<Vec3>& placed = op.mesh->vertices();
  // (toward, steps), in the order tried: the bisectors only once the other two ways failed.
  constexpr std::pair<int, double> kWays[] = {{0, 1.5}, {1, 1.5}, {0, 3}, {1, 3}, {0, 6},
                                              {1, 6},   {2, 1.5}, {2, 3}, {2, 6}};
  std::vector<std::vector<Vec3>> ways;
  for (const auto& [toward, steps] : kWays) {
    std::vector<Vec3> points = placed;
    separateTouching(grid, offsets, corners, toward, steps, points);
    r.mesh = Polyhedron(points, offsets, corners);
    ways.push_back(std::move(points));
    try {
      if (!selfIntersects(prepareOperand(r.mesh, op.name))) return r;
    } catch (const Error&) {
      // Moved this way, a sheet folded; the next way may not.
    }
  }
  // The bisectors come closest where the sheets folded along crossing curves.
  auto [way, pairs] = mixWays(ways, op.tris, std::size(kWays) - 1);
  if (pairs == 0 || bestEffort) {
    r.mesh = Polyhedron(placedBy(ways, way), std::move(offsets), std::move(corners));
    return r;
  }
  throw Error::invalidOperand(op.name,
                              "touches itself where the other operand cuts it, and its sheets "
                              "cannot be set apart there");
}

ResolvedOperand settleResolved(std::vector<Vec3> points, std::vector<std::uint32_t> offsets,
                               std::vector<int> corners, std::vector<std::uint32_t> sourceFace,
                               const Grid& grid, const std::string& name) {
  splitPinches(corners, points);
  ResolvedOperand r;
  r.sourceFace = std::move(sourceFace);
  // Where the crossings' vertices moved onto the grid, the surface must still be one; touching
  // sheets are set apart, and where the first way of doing it makes them cross, the others.
  auto fault = [&]() -> std::string {
    try {
      if (selfIntersects(prepareOperand(r.mesh, name))) {
        return name + " self-intersects, and its resolved surface still does once rounded";
      }
    } catch (const Error& e) {
      return std::string(e.what()) + " once its self-intersections are resolved";
    }
    return {};
  };
  const std::vector<Vec3> placed = points;
  std::string problem;
  for (int attempt = 0;; ++attempt) {
    const int toward = attempt % 2;
    const double steps = 1.5 * (1 << (attempt / 2));
    points = placed;
    const bool moved = !separateTouching(grid, offsets, corners, toward, steps, points).empty();
    r.mesh = Polyhedron(points, offsets, corners);
    problem = fault();
    if (problem.empty() || !moved || attempt == 5) break;
  }
  if (!problem.empty()) throw Error(problem);
  return r;
}

}  // namespace geom::csg
