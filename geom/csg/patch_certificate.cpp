#include "geom/csg/patch_certificate.h"
#include "geom/csg/filtered_triple.h"

#include <algorithm>
#include <cmath>

namespace geom::csg {

namespace {

// The directions a patch may face: the axes and the diagonals of the unit cube's faces and of
// the cube, each with two vectors across it (the coordinates of the plane the sweep uses; only
// the exact side tests, never these, decide which way a loop turns).
struct Direction {
  Vec3 d, e1, e2;
};
constexpr int kDirections = 13;
constexpr Direction kDirection[kDirections] = {
    {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},      {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
    {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},      {{1, 1, 0}, {0, 0, 1}, {1, -1, 0}},
    {{1, -1, 0}, {0, 0, 1}, {-1, -1, 0}},   {{1, 0, 1}, {0, 1, 0}, {1, 0, -1}},
    {{1, 0, -1}, {0, 1, 0}, {-1, 0, -1}},   {{0, 1, 1}, {1, 0, 0}, {0, 1, -1}},
    {{0, 1, -1}, {1, 0, 0}, {0, 1, 1}},     {{1, 1, 1}, {1, -1, 0}, {1, 1, -2}},
    {{1, 1, -1}, {1, -1, 0}, {-1, -1, -2}}, {{1, -1, 1}, {1, 1, 0}, {-1, 1, 2}},
    {{1, -1, -1}, {1, 1, 0}, {1, -1, 2}}};

// Seen along d, the side of the line a -> b that c is on (1: left).
int side(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d) {
  return certainSign(triple(b - a, c - a, d));
}

// Seen along d, whether the edges a -> b and b -> c certainly meet only in b: they turn, or go
// on rather than back (a wide margin: this only sends a doubtful join to the pairwise tests).
bool meetOnlyAtJoin(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d) {
  if (side(a, b, c, d) != 0) return true;
  const Vec3 u = b - a, v = c - b;
  const double across = dot(u, v) - dot(u, d) * dot(v, d) / dot(d, d);
  return across > 1e-9 * length(u) * length(v) && across > 1e-250;
}

}  // namespace

PatchCertificate::PatchCertificate(const TriangulatedOperand& op)
    : op_(op),
      facing_(op.tris.size(), 0),
      inPatch_(op.tris.size(), 0),
      position_(op.tris.size(), 0),
      leaves_(op.mesh->vertices().size(), 0),
      next_(op.mesh->vertices().size(), -1) {
  const std::vector<Vec3>& p = op.mesh->vertices();
  for (std::size_t t = 0; t < op.tris.size(); ++t) {
    const auto& c = op.tris[t];
    const Cross n = crossOf(p[c[1]] - p[c[0]], p[c[2]] - p[c[0]]);
    std::uint32_t bits = 0;
    for (int i = 0; i < kDirections; ++i) {
      const int s = certainSign(dotted(n, kDirection[i].d));
      if (s != 0) bits |= 1u << (2 * i + (s > 0 ? 0 : 1));
    }
    facing_[t] = bits;
  }
}

std::uint32_t PatchCertificate::stamp() {
  if (++stamp_ == 0) {
    std::fill(inPatch_.begin(), inPatch_.end(), 0);
    std::fill(leaves_.begin(), leaves_.end(), 0);
    stamp_ = 1;
  }
  return stamp_;
}

bool PatchCertificate::member(int t) const {
  return inPatch_[t] == patch_ && kept_[position_[t]];
}

void PatchCertificate::leaveOut(std::size_t p, std::vector<std::uint32_t>& rest) {
  kept_[p] = 0;
  rest.push_back(static_cast<std::uint32_t>(p));
}

std::size_t PatchCertificate::boundary(std::span<const std::uint32_t> patch) {
  edgesFrom_ = stamp();
  pinches_.clear();
  std::size_t edges = 0;
  for (std::size_t p = 0; p < patch.size(); ++p) {
    if (!kept_[p]) continue;
    const std::uint32_t t = patch[p];
    for (int k = 0; k < 3; ++k) {
      const int o = op_.opposite[3 * t + k];
      if (o >= 0 && member(o / 3)) continue;
      const int v = op_.tris[t][k];
      if (leaves_[v] == edgesFrom_) {
        pinches_.push_back(v);
      } else {
        leaves_[v] = edgesFrom_;
        next_[v] = op_.tris[t][(k + 1) % 3];
      }
      ++edges;
    }
  }
  return edges;
}

bool PatchCertificate::traceLoops(std::span<const std::uint32_t> patch) {
  loops_.clear();
  loopEnds_.clear();
  // A vertex is traced when leaves_ holds a new mark; every vertex with an edge out starts a
  // loop or lies on one. (Where the marks wrapped round, the boundary's marks are gone.)
  const std::uint32_t traced = stamp();
  if (traced < edgesFrom_) return false;
  for (std::size_t p = 0; p < patch.size(); ++p) {
    if (!kept_[p]) continue;
    for (const int s : op_.tris[patch[p]]) {
      if (leaves_[s] != edgesFrom_) continue;
      int v = s;
      do {
        loops_.push_back(v);
        leaves_[v] = traced;
        v = next_[v];
        if (leaves_[v] != edgesFrom_ && v != s) return false;
      } while (v != s);
      loopEnds_.push_back(loops_.size());
    }
  }
  return true;
}

bool PatchCertificate::keepLargestPart(std::span<const std::uint32_t> patch,
                                       std::vector<std::uint32_t>& rest) {
  const std::size_t n = patch.size();
  part_.assign(n, -1);
  std::vector<std::size_t> sizes;
  for (std::size_t first = 0; first < n; ++first) {
    if (!kept_[first] || part_[first] >= 0) continue;
    const int id = static_cast<int>(sizes.size());
    sizes.push_back(0);
    part_[first] = id;
    todo_.assign(1, static_cast<std::uint32_t>(first));
    while (!todo_.empty()) {
      const std::uint32_t p = todo_.back();
      todo_.pop_back();
      ++sizes[id];
      for (int k = 0; k < 3; ++k) {
        const int o = op_.opposite[3 * patch[p] + k];
        if (o < 0 || !member(o / 3)) continue;
        const std::uint32_t q = position_[o / 3];
        if (part_[q] >= 0) continue;
        part_[q] = id;
        todo_.push_back(q);
      }
    }
  }
  if (sizes.size() < 2) return false;
  const int keep = static_cast<int>(std::max_element(sizes.begin(), sizes.end()) - sizes.begin());
  for (std::size_t p = 0; p < n; ++p) {
    if (kept_[p] && part_[p] != keep) leaveOut(p, rest);
  }
  return true;
}

bool PatchCertificate::embedded(std::span<const std::uint32_t> patch,
                                std::vector<std::uint32_t>& rest) {
  const std::size_t n = patch.size();
  if (n < 2) return false;
  std::uint32_t facing = ~0u;
  for (const std::uint32_t t : patch) {
    facing &= facing_[t];
    if (facing == 0) return false;
  }
  patch_ = stamp();
  kept_.assign(n, 1);
  for (std::size_t p = 0; p < n; ++p) {
    inPatch_[patch[p]] = patch_;
    position_[patch[p]] = static_cast<std::uint32_t>(p);
  }
  // Where the patch pinches (two boundary edges leave one vertex), the triangles at that vertex
  // are left out, for the caller to test one by one; so are a few rounds of what that pinches.
  // A patch with too many left out is not worth vouching for.
  const std::size_t most = n / 4;
  std::size_t edges = boundary(patch);
  for (int round = 0; !pinches_.empty(); ++round) {
    if (round == 3) return false;
    const std::uint32_t pinched = stamp();
    for (const int v : pinches_) leaves_[v] = pinched;
    for (std::size_t p = 0; p < n; ++p) {
      if (!kept_[p]) continue;
      const auto& c = op_.tris[patch[p]];
      if (leaves_[c[0]] == pinched || leaves_[c[1]] == pinched || leaves_[c[2]] == pinched) {
        leaveOut(p, rest);
      }
    }
    if (rest.size() > most) return false;
    edges = boundary(patch);
  }
  // A patch without boundary is closed, and a closed surface cannot face one way.
  if (edges < 3 || !traceLoops(patch)) return false;
  auto seenOneToOne = [&] {
    int tries = 0;
    for (int i = 0; i < kDirections && tries < 4; ++i) {
      if ((facing >> (2 * i) & 3) == 0) continue;
      ++tries;
      if (simpleSeenAlong(i, (facing >> (2 * i) & 1) ? 1 : -1)) return true;
    }
    return false;
  };
  if (seenOneToOne()) return true;
  // Parts side by side each have a loop turning counter-clockwise: the largest part is kept
  // (parts share no vertex once no vertex pinches).
  if (loopEnds_.size() < 2 || !keepLargestPart(patch, rest) || rest.size() > most) return false;
  edges = boundary(patch);
  if (!pinches_.empty() || edges < 3 || !traceLoops(patch)) return false;
  return seenOneToOne();
}

bool PatchCertificate::simpleSeenAlong(int i, int facing) {
  const Direction& dir = kDirection[i];
  const Vec3& d = dir.d;
  const std::vector<Vec3>& p = op_.mesh->vertices();
  const std::size_t n = loops_.size();
  after_.resize(n);
  std::size_t begin = 0;
  for (const std::size_t end : loopEnds_) {
    if (end - begin < 3) return false;
    for (std::size_t s = begin; s < end; ++s) after_[s] = s + 1 < end ? s + 1 : begin;
    begin = end;
  }
  auto at = [&](std::size_t s) -> const Vec3& { return p[loops_[s]]; };
  // Exactly one loop turns counter-clockwise seen against the way the triangles face, the
  // others clockwise: the winding number of the boundary is then at most one everywhere. Twice
  // a loop's area, as a sum of triples.
  int counterClockwise = 0;
  begin = 0;
  for (const std::size_t end : loopEnds_) {
    Triple area{0, 0};
    for (std::size_t s = begin + 1; s + 1 < end; ++s) {
      const Triple t = triple(at(s) - at(begin), at(s + 1) - at(begin), d);
      area.value += t.value;
      area.bound += t.bound + 2.3e-16 * static_cast<double>(end - begin) * std::fabs(t.value);
    }
    const int s = certainSign(area) * facing;
    if (s == 0) return false;
    if (s > 0 && ++counterClockwise > 1) return false;
    begin = end;
  }
  if (counterClockwise != 1) return false;
  // (Joins after the turning: a patch in several parts, each turning counter-clockwise, is
  // turned down by the cheaper test.)
  for (std::size_t s = 0; s < n; ++s) {
    if (!meetOnlyAtJoin(at(s), at(after_[s]), at(after_[after_[s]]), d)) return false;
  }
  // No two edges but consecutive ones meet: a sweep across the first coordinate in the plane,
  // each edge tested against the edges it may overlap there (the boxes widened well beyond the
  // rounding of the coordinates).
  seen_.resize(n);
  double scale = 0;
  for (std::size_t s = 0; s < n; ++s) {
    seen_[s] = {dot(at(s), dir.e1), dot(at(s), dir.e2)};
    scale = std::max({scale, std::fabs(at(s).x), std::fabs(at(s).y), std::fabs(at(s).z)});
  }
  const double margin = 1e-12 * scale;
  auto lo = [&](std::size_t s, int c) {
    return std::min(seen_[s][c], seen_[after_[s]][c]) - margin;
  };
  auto hi = [&](std::size_t s, int c) {
    return std::max(seen_[s][c], seen_[after_[s]][c]) + margin;
  };
  order_.resize(n);
  for (std::size_t s = 0; s < n; ++s) order_[s] = static_cast<std::uint32_t>(s);
  std::sort(order_.begin(), order_.end(),
            [&](std::uint32_t x, std::uint32_t y) { return lo(x, 0) < lo(y, 0); });
  active_.clear();
  for (const std::uint32_t s : order_) {
    const double from = lo(s, 0);
    for (std::size_t a = 0; a < active_.size();) {
      if (hi(active_[a], 0) < from) {
        active_[a] = active_.back();
        active_.pop_back();
      } else {
        ++a;
      }
    }
    for (const std::uint32_t u : active_) {
      if (after_[s] == u || after_[u] == s) continue;  // joined: tested above
      if (hi(s, 1) < lo(u, 1) || hi(u, 1) < lo(s, 1)) continue;
      const Vec3 &a = at(s), &b = at(after_[s]), &c = at(u), &e = at(after_[u]);
      // Apart: one edge strictly on one side of the other's line.
      if (side(a, b, c, d) * side(a, b, e, d) != 1 && side(c, e, a, d) * side(c, e, b, d) != 1) {
        return false;
      }
    }
    active_.push_back(s);
  }
  return true;
}

}  // namespace geom::csg
