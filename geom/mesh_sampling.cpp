#include "geom/mesh_sampling.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "geom/error.h"

namespace geom {

namespace {

// Chosen so that a ray practically never grazes an edge or a vertex.
const Vec3 kRay{0.5773502691896258, 0.5773502691896257 + 1.234e-7, 0.5773502691896259 - 2.71e-8};

// Whether the ray from p along kRay crosses the triangle a, b, c in front of p.
bool crosses(const Vec3& p, const Vec3& a, const Vec3& b, const Vec3& c) {
  const Vec3 e1 = b - a;
  const Vec3 e2 = c - a;
  const Vec3 q = cross(kRay, e2);
  const double det = dot(e1, q);
  if (det == 0.0) return false;
  const Vec3 s = p - a;
  const double u = dot(s, q) / det;
  if (u < 0 || u > 1) return false;
  const Vec3 r = cross(s, e1);
  const double v = dot(kRay, r) / det;
  if (v < 0 || u + v > 1) return false;
  return dot(e2, r) / det > 0;
}

// The mesh's fan triangles bucketed by where they lie seen along the ray: a uniform grid over
// the plane across kRay, each triangle in every cell its (slightly widened) shadow's box
// touches. A ray can only cross the triangles of the cell its start falls in.
class RayGrid {
 public:
  explicit RayGrid(const MeshFile& m) : m_(m) {
    // An orthonormal pair across the ray.
    u_ = cross(kRay, Vec3{1, 0, 0});
    u_ = u_ * (1.0 / length(u_));
    v_ = cross(kRay, u_);
    std::vector<std::array<double, 4>> rect;  // per triangle: u lo, u hi, v lo, v hi
    lo_[0] = lo_[1] = INFINITY;
    double hi[2] = {-INFINITY, -INFINITY};
    for (const auto& f : m.polygons) {
      for (std::size_t i = 1; i + 1 < f.size(); ++i) {
        std::array<double, 4> r{INFINITY, -INFINITY, INFINITY, -INFINITY};
        for (const int k : {f[0], f[i], f[i + 1]}) {
          const Vec3& p = m.points[static_cast<std::size_t>(k)];
          r[0] = std::min(r[0], dot(p, u_)), r[1] = std::max(r[1], dot(p, u_));
          r[2] = std::min(r[2], dot(p, v_)), r[3] = std::max(r[3], dot(p, v_));
        }
        // Rounding in the crossing test must not make a triangle count outside its box.
        const double pad = 1e-9 * std::max({std::fabs(r[0]), std::fabs(r[1]), std::fabs(r[2]),
                                            std::fabs(r[3]), r[1] - r[0], r[3] - r[2], 1e-300});
        r = {r[0] - pad, r[1] + pad, r[2] - pad, r[3] + pad};
        lo_[0] = std::min(lo_[0], r[0]), hi[0] = std::max(hi[0], r[1]);
        lo_[1] = std::min(lo_[1], r[2]), hi[1] = std::max(hi[1], r[3]);
        rect.push_back(r);
        tris_.push_back({f[0], f[i], f[i + 1]});
      }
    }
    if (tris_.empty()) return;
    n_ = std::clamp<int>(static_cast<int>(std::sqrt(static_cast<double>(tris_.size()))), 1, 1024);
    for (int k = 0; k < 2; ++k) size_[k] = std::max((hi[k] - lo_[k]) / n_, 1e-300);
    first_.assign(static_cast<std::size_t>(n_) * n_ + 1, 0);
    // Two passes: count per cell, then fill.
    for (int pass = 0; pass < 2; ++pass) {
      std::vector<std::uint32_t> fill(first_.begin(), first_.end() - 1);
      if (pass == 1) entries_.resize(first_.back());
      for (std::size_t t = 0; t < tris_.size(); ++t) {
        const int u0 = cell(rect[t][0], 0), u1 = cell(rect[t][1], 0);
        const int v0 = cell(rect[t][2], 1), v1 = cell(rect[t][3], 1);
        for (int a = u0; a <= u1; ++a) {
          for (int b = v0; b <= v1; ++b) {
            const std::size_t c = static_cast<std::size_t>(a) * n_ + b;
            if (pass == 0) {
              ++first_[c + 1];
            } else {
              entries_[fill[c]++] = static_cast<std::uint32_t>(t);
            }
          }
        }
      }
      if (pass == 0) {
        for (std::size_t c = 0; c + 1 < first_.size(); ++c) first_[c + 1] += first_[c];
      }
    }
  }

  bool inside(const Vec3& p) const {
    if (tris_.empty()) return false;
    const double pu = dot(p, u_), pv = dot(p, v_);
    if (pu < lo_[0] || pv < lo_[1]) return false;
    const int a = cell(pu, 0), b = cell(pv, 1);
    if (a >= n_ || b >= n_) return false;
    const std::size_t c = static_cast<std::size_t>(a) * n_ + b;
    int crossings = 0;
    for (std::uint32_t i = first_[c]; i < first_[c + 1]; ++i) {
      const auto& t = tris_[entries_[i]];
      crossings += crosses(p, m_.points[t[0]], m_.points[t[1]], m_.points[t[2]]);
    }
    return crossings % 2 == 1;
  }

 private:
  // The cell of coordinate x along axis k (0: u, 1: v); n_ just past the grid.
  int cell(double x, int k) const {
    const double c = std::floor((x - lo_[k]) / size_[k]);
    return c >= n_ ? (x <= lo_[k] + size_[k] * n_ * (1 + 1e-12) ? n_ - 1 : n_)
                   : static_cast<int>(std::max(c, 0.0));
  }

  const MeshFile& m_;
  Vec3 u_, v_;
  double lo_[2] = {0, 0}, size_[2] = {1, 1};
  int n_ = 0;
  std::vector<std::array<int, 3>> tris_;
  std::vector<std::uint32_t> first_;  // per cell, into entries_
  std::vector<std::uint32_t> entries_;
};

}  // namespace

bool insideByParity(const MeshFile& m, const Vec3& p) {
  int crossings = 0;
  for (const auto& f : m.polygons) {
    for (std::size_t i = 1; i + 1 < f.size(); ++i) {
      crossings += crosses(p, m.points[static_cast<std::size_t>(f[0])],
                           m.points[static_cast<std::size_t>(f[i])],
                           m.points[static_cast<std::size_t>(f[i + 1])]);
    }
  }
  return crossings % 2 == 1;
}

struct InsideTest::Grid {
  explicit Grid(const MeshFile& m) : grid(m) {}
  RayGrid grid;
};

InsideTest::InsideTest(const MeshFile& mesh) : grid_(std::make_unique<Grid>(mesh)) {}
InsideTest::~InsideTest() = default;
bool InsideTest::operator()(const Vec3& p) const {
  return grid_->grid.inside(p);
}

std::vector<Vec3> scatterInside(const MeshFile& m, std::size_t count, std::uint64_t seed) {
  if (m.points.empty()) throw Error("the mesh has no points to place centres in");
  Vec3 lo = m.points[0], hi = m.points[0];
  for (const auto& p : m.points) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> ux(lo.x, hi.x), uy(lo.y, hi.y), uz(lo.z, hi.z);
  std::vector<Vec3> out;
  out.reserve(count);
  const RayGrid grid(m);
  const std::size_t attempts = 1000 * count + 1000;
  for (std::size_t i = 0; i < attempts && out.size() < count; ++i) {
    const Vec3 p{ux(rng), uy(rng), uz(rng)};
    if (grid.inside(p)) out.push_back(p);
  }
  if (out.size() < count) {
    throw Error("could not place " + std::to_string(count) +
                " points inside the mesh (is it closed?)");
  }
  return out;
}

}  // namespace geom
