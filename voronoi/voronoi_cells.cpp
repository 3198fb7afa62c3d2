#include "voronoi/voronoi_cells.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include <voro++/voro++.hh>

#include "geom/convex_hull.h"
#include "geom/predicates.h"
#include "voronoi/proximity_index.h"

namespace tsl::voronoi {
namespace {

constexpr int kBlocks = 6;           // per axis, whatever the number of centres
constexpr int kInitialPerBlock = 8;  // the container grows a block when it fills
constexpr float kMinShrink = 0.00005f;
constexpr float kMaxShrink = 0.9999f;

// Points closer than this many jitter steps after the jitter are one point to Voro++ (far below
// the jitter's own resolution, far above the library's absolute tolerance for any box the
// node can meet in float).
constexpr double kCoincidentSteps = 1e-3;

geom::Vec3 widen(const Float3& p) {
  return {p.x, p.y, p.z};
}

// Voro++ itself drops a point whose block index falls outside the grid; on a lower face it
// would keep it and start the cell from a flat box. A site must be strictly inside.
bool strictlyInside(const geom::Vec3& p, const ContainerBox& box) {
  return p.x > box.lo.x && p.x < box.hi.x && p.y > box.lo.y && p.y < box.hi.y && p.z > box.lo.z &&
         p.z < box.hi.z;
}

// Voro++'s own test, for a point already known to be finite and inside (so the conversion to
// a block index is defined): a point a rounding step below an upper face can still map to
// block nx, which the library would silently drop.
bool mapsIntoGrid(const voro::container& con, const geom::Vec3& p) {
  const double u = (p.x - con.ax) * con.xsp;
  const double v = (p.y - con.ay) * con.ysp;
  const double w = (p.z - con.az) * con.zsp;
  return u >= 0 && u < con.nx && v >= 0 && v < con.ny && w >= 0 && w < con.nz;
}

struct Candidate {
  double d2;
  double x, y, z;
};

// Cuts cell (the container box relative to the centre) by the shrunken half space of every
// stored site that can reach it. Blocks are visited in shells of growing Chebyshev distance
// around the centre's block; within a shell the sites are cut nearest first. The plane of a
// site at distance d lies t*d/2 from the centre, t*d in Voro++'s doubled units, so it cannot
// touch a cell whose doubled vertex radius stays within t*d: once the nearest unvisited shell
// is at a distance D with t^2 D^2 >= max_radius_squared(), nothing further can cut. Voro++'s
// own compute_cell cannot be used: its radius test assumes t = 1.
class ShrunkenCellCutter {
 public:
  ShrunkenCellCutter(voro::container& con, double t) : con_(con), t_(t), t2_(t * t) {}

  // False when the cuts delete the cell.
  bool cut(voro::voronoicell& cell, const voro::c_loop_all& at, const geom::Vec3& c) {
    double mrs = cell.max_radius_squared();
    const int maxShell = std::max({con_.nx, con_.ny, con_.nz});
    for (int s = 0; s < maxShell; ++s) {
      if (s > 0) {
        const double d = distanceToShell(at, c, s);
        if (d < 0 || t2_ * d * d >= mrs) break;
      }
      gather(at, c, s);
      std::sort(candidates_.begin(), candidates_.end(),
                [](const Candidate& a, const Candidate& b) { return a.d2 < b.d2; });
      for (const Candidate& q : candidates_) {
        if (t2_ * q.d2 >= mrs) break;
        if (!cell.plane(q.x, q.y, q.z, t_ * q.d2)) return false;
        mrs = cell.max_radius_squared();
      }
    }
    return true;
  }

 private:
  // Distance from c to the nearest block of shell s or beyond, or -1 when the shells before s
  // already cover the grid. Shaved by a hair so rounding in the block index cannot stop the
  // search early.
  double distanceToShell(const voro::c_loop_all& at, const geom::Vec3& c, int s) const {
    double d = -1;
    auto side = [&d](double dist) { d = d < 0 ? dist : std::min(d, dist); };
    auto axis = [&](int ci, int n, double a, double bw, double x) {
      if (ci - s >= 0) side(x - (a + (ci - s + 1) * bw));
      if (ci + s <= n - 1) side((a + (ci + s) * bw) - x);
    };
    axis(at.i, con_.nx, con_.ax, con_.boxx, c.x);
    axis(at.j, con_.ny, con_.ay, con_.boxy, c.y);
    axis(at.k, con_.nz, con_.az, con_.boxz, c.z);
    if (d < 0) return -1;
    const double hair = 1e-9 * std::min({con_.boxx, con_.boxy, con_.boxz});
    return std::max(0.0, d - hair);
  }

  void gather(const voro::c_loop_all& at, const geom::Vec3& c, int s) {
    candidates_.clear();
    const int i0 = std::max(0, at.i - s), i1 = std::min(con_.nx - 1, at.i + s);
    const int j0 = std::max(0, at.j - s), j1 = std::min(con_.ny - 1, at.j + s);
    const int k0 = std::max(0, at.k - s), k1 = std::min(con_.nz - 1, at.k + s);
    for (int k = k0; k <= k1; ++k) {
      for (int j = j0; j <= j1; ++j) {
        for (int i = i0; i <= i1; ++i) {
          const int shell = std::max({std::abs(i - at.i), std::abs(j - at.j), std::abs(k - at.k)});
          if (shell != s) continue;
          const int ijk = i + con_.nx * (j + con_.ny * k);
          const double* p = con_.p[ijk];
          for (int q = 0; q < con_.co[ijk]; ++q, p += con_.ps) {
            if (ijk == at.ijk && q == at.q) continue;
            const double x = p[0] - c.x, y = p[1] - c.y, z = p[2] - c.z;
            candidates_.push_back({x * x + y * y + z * z, x, y, z});
          }
        }
      }
    }
  }

  voro::container& con_;
  double t_;
  double t2_;
  std::vector<Candidate> candidates_;
};

[[noreturn]] void inconsistentCell(voro::voronoicell& cell) {
  for (int i = 0; i < cell.p; ++i) {
    for (int j = 0; j < cell.nu[i]; ++j) {
      if (cell.ed[i][j] < 0) cell.ed[i][j] = -1 - cell.ed[i][j];
    }
  }
  throw VoroError("voro++: cell face walk met an inconsistent edge table", VOROPP_INTERNAL_ERROR);
}

// Appends the cell's vertices (absolute, through float) and its triangles as faces
// (3, a, b, c) to the mesh under construction. Every face is fanned around the first vertex
// (counting from 1) from which the walk reaches it; each triangle is written in the reverse of
// the walk's order, which makes it counter-clockwise seen from outside. Edges are marked the way
// Voro++ marks them (-1 - k) and restored afterwards: a leftover mark is fatal to the library's
// next cut.
void writeCell(voro::voronoicell& cell, const geom::Vec3& c, geom::PolyhedronData& out) {
  const int base = static_cast<int>(out.points.size());
  const int v = cell.p;
  int edges = 0;
  for (int i = 0; i < v; ++i) {
    const double* x = cell.pts + 3 * i;
    out.points.push_back({static_cast<float>(c.x + 0.5 * x[0]),
                          static_cast<float>(c.y + 0.5 * x[1]),
                          static_cast<float>(c.z + 0.5 * x[2])});
    edges += cell.nu[i];
  }
  int steps = 0;
  int** ed = cell.ed;
  const int* nu = cell.nu;
  for (int i = 1; i < v; ++i) {
    for (int j = 0; j < nu[i]; ++j) {
      int k = ed[i][j];
      if (k < 0) continue;
      ed[i][j] = -1 - k;
      int l = cell.cycle_up(ed[i][nu[i] + j], k);
      int m = ed[k][l];
      if (m < 0 || m >= v) inconsistentCell(cell);
      ed[k][l] = -1 - m;
      while (m != i) {
        if (++steps > edges) inconsistentCell(cell);
        const int n = cell.cycle_up(ed[k][nu[k] + l], m);
        const int tri[3] = {base + m, base + k, base + i};
        out.addFace(tri);
        k = m;
        l = n;
        m = ed[k][l];
        if (m < 0 || m >= v) inconsistentCell(cell);
        ed[k][l] = -1 - m;
      }
    }
  }
  for (int i = 0; i < v; ++i) {
    for (int j = 0; j < nu[i]; ++j) {
      if (ed[i][j] < 0) ed[i][j] = -1 - ed[i][j];
    }
  }
}

// Whether the cell written from `firstPoint` and `firstFace` on (its corners rounded through
// float) still bounds a solid: every triangle has area and faces away from the centroid of the
// corners. A closed triangle surface that turns every triangle outwards from one inner point
// wraps it once, so it cannot cross itself.
bool boundsASolid(const geom::PolyhedronData& data, std::size_t firstPoint,
                  std::size_t firstIndex) {
  geom::Vec3 g;
  for (std::size_t i = firstPoint; i < data.points.size(); ++i) g = g + data.points[i];
  g = g * (1.0 / static_cast<double>(data.points.size() - firstPoint));
  for (std::size_t k = firstIndex; k < data.faceIndices.size(); k += 4) {
    const geom::Vec3& a = data.points[data.faceIndices[k + 1]];
    const geom::Vec3& b = data.points[data.faceIndices[k + 2]];
    const geom::Vec3& c = data.points[data.faceIndices[k + 3]];
    if (geom::collinear(a, b, c) || geom::orient3d(a, b, c, g) >= 0) return false;
  }
  return true;
}

// Rounded through float, the corners of a thin or tiny cell can fall together or out of convex
// position: edges shorter than float's resolution vanish, faces fold. The Boolean engine would
// refuse the whole cell mesh for one such cell, losing every piece, so the cell is replaced by
// the convex hull of its rounded corners. Returns false, with the cell removed again, when those
// span no volume (the cell is thinner than float resolves): there is no piece to cut with it.
bool keepSound(geom::PolyhedronData& data, std::size_t firstPoint, std::size_t firstIndex,
               std::size_t firstFace, CellMesh& stats) {
  if (boundsASolid(data, firstPoint, firstIndex)) return true;
  const std::vector<geom::Vec3> rounded(
      data.points.begin() + static_cast<std::ptrdiff_t>(firstPoint), data.points.end());
  data.points.resize(firstPoint);
  data.faceIndices.resize(firstIndex);
  data.faceCount = firstFace;
  std::vector<geom::Vec3> corners;
  std::vector<std::array<int, 3>> triangles;
  if (!geom::convexHull(rounded, corners, triangles)) {
    ++stats.dropped;
    return false;
  }
  const int base = static_cast<int>(firstPoint);
  data.points.insert(data.points.end(), corners.begin(), corners.end());
  for (const auto& t : triangles) {
    const int tri[3] = {base + t[0], base + t[1], base + t[2]};
    data.addFace(tri);
  }
  ++stats.rebuilt;
  return true;
}

}  // namespace

float shrinkFactor(float thickness) {
  const float t = 1.0f - thickness;
  if (std::isnan(t)) return kMaxShrink;
  if (t < kMinShrink) return kMinShrink;
  if (t > kMaxShrink) return kMaxShrink;
  return t;
}

namespace {

// Voro++'s tolerances are absolute (about 1e-11), so in a box far from unit size it judges
// every cut degenerate and deletes the cells. Such boxes are worked in coordinates scaled by a
// power of two, which is exact, and the cells are scaled back; boxes of ordinary size are left
// as they are.
double workingScale(const ContainerBox& box) {
  const double side = std::max(
      {double(box.hi.x) - box.lo.x, double(box.hi.y) - box.lo.y, double(box.hi.z) - box.lo.z});
  if (side >= 0x1p-10 && side <= 0x1p20) return 1.0;
  int e = 0;
  std::frexp(side, &e);
  return std::ldexp(1.0, -e);
}

}  // namespace

CellMesh cellsOfSites(std::span<const Site> sites, float t, const ContainerBox& given,
                      const Progress& progress) {
  CellMesh result;
  result.sites = sites.size();
  result.cellFaceStart.push_back(0);
  if (!isUsable(given)) return result;
  const double scale = workingScale(given);
  const auto scaled = [scale](const Float3& f) {
    return Float3{static_cast<float>(f.x * scale), static_cast<float>(f.y * scale),
                  static_cast<float>(f.z * scale)};
  };
  const ContainerBox box{scaled(given.lo), scaled(given.hi)};
  std::vector<Site> scaledSites;
  if (scale != 1.0) {
    scaledSites.assign(sites.begin(), sites.end());
    for (Site& s : scaledSites) s.pos = s.pos * scale;
    sites = scaledSites;
  }

  voro::container con(box.lo.x, box.hi.x, box.lo.y, box.hi.y, box.lo.z, box.hi.z, kBlocks, kBlocks,
                      kBlocks, false, false, false, kInitialPerBlock);
  const double j = jitterStep(box);
  ProximityIndex stored(widen(box.lo), kCoincidentSteps * j);
  for (const Site& s : sites) {
    if (!geom::isFinite(s.pos) || !strictlyInside(s.pos, box) || !mapsIntoGrid(con, s.pos)) {
      continue;
    }
    if (stored.anyWithin(s.pos)) {
      ++result.coincident;
      continue;
    }
    stored.insert(s.pos);
    con.put(s.id, s.pos.x, s.pos.y, s.pos.z);
    ++result.stored;
  }

  geom::PolyhedronData data;
  voro::voronoicell cell;
  ShrunkenCellCutter cutter(con, static_cast<double>(t));
  voro::c_loop_all loop(con);
  progress.begin("Voronoi cells", result.stored);
  if (loop.start()) {
    do {
      stopIfCancelled(progress);
      progress.done();
      geom::Vec3 c;
      loop.pos(c.x, c.y, c.z);
      cell.init(con.ax - c.x, con.bx - c.x, con.ay - c.y, con.by - c.y, con.az - c.z, con.bz - c.z);
      if (!cutter.cut(cell, loop, c)) continue;
      const std::size_t firstPoint = data.points.size(), firstIndex = data.faceIndices.size();
      const std::size_t firstFace = data.faceCount;
      writeCell(cell, c, data);
      if (!keepSound(data, firstPoint, firstIndex, firstFace, result)) continue;
      result.cellIds.push_back(loop.pid());
      result.cellCentres.push_back(c);
      result.cellFaceStart.push_back(data.faceCount);
    } while (loop.inc());
  }
  if (scale != 1.0) {
    for (geom::Vec3& p : data.points) p = p * (1.0 / scale);
    for (geom::Vec3& c : result.cellCentres) c = c * (1.0 / scale);
  }
  result.mesh = geom::Polyhedron(std::move(data.points), data.faceCount, data.faceIndices);
  return result;
}

CellMesh voronoi_cells(std::span<const Float3> centres, float thickness, const geom::AABB& meshBox,
                       const Progress& progress) {
  const float t = shrinkFactor(thickness);
  const ContainerBox box = containerBox(meshBox);
  if (!isUsable(box)) {
    CellMesh empty;
    empty.cellFaceStart.push_back(0);
    return empty;
  }
  const std::vector<Site> sites = prepareSites(centres, box);
  return cellsOfSites(sites, t, box, progress);
}

}  // namespace tsl::voronoi
