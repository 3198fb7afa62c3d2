#include "geom/mean_value.h"

#include <cmath>

#include "geom/triangulator.h"

namespace geom {

namespace {

void nearestCorner(std::span<const Vec3> polygon, const Vec3& p, std::vector<double>& weights) {
  std::size_t best = 0;
  double bestDist = INFINITY;
  for (std::size_t i = 0; i < polygon.size(); ++i) {
    const Vec3 d = polygon[i] - p;
    const double dist = dot(d, d);
    if (dist < bestDist) {
      bestDist = dist;
      best = i;
    }
  }
  weights[best] = 1.0;
}

}  // namespace

void meanValueWeights(std::span<const Vec3> polygon, const Vec3& p, std::vector<double>& weights) {
  const std::size_t n = polygon.size();
  weights.assign(n, 0.0);
  if (n == 0) return;
  const PolygonProjection proj = PolygonProjection::of(polygon);
  if (!proj.valid) {
    nearestCorner(polygon, p, weights);
    return;
  }
  // Corner offsets from p in the projection, their lengths, and per edge i -> i+1 the
  // determinant and dot product of consecutive offsets.
  thread_local std::vector<double> sx, sy, r, det, dt;
  sx.resize(n);
  sy.resize(n);
  r.resize(n);
  det.resize(n);
  dt.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    sx[i] = polygon[i][proj.u] - p[proj.u];
    sy[i] = polygon[i][proj.v] - p[proj.v];
    r[i] = std::hypot(sx[i], sy[i]);
    if (r[i] == 0.0) {
      weights[i] = 1.0;
      return;
    }
  }
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t j = (i + 1) % n;
    det[i] = sx[i] * sy[j] - sy[i] * sx[j];
    dt[i] = sx[i] * sx[j] + sy[i] * sy[j];
    if (det[i] == 0.0 && dt[i] < 0.0) {
      // p on edge i -> j: the limit of the mean-value weights there is linear interpolation.
      weights[i] = r[j] / (r[i] + r[j]);
      weights[j] = r[i] / (r[i] + r[j]);
      return;
    }
  }
  double total = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t h = (i + n - 1) % n;
    const std::size_t j = (i + 1) % n;
    double w = 0.0;
    // tan(alpha/2) / r_i for the angles on either side of corner i, in the form that stays
    // finite when p is collinear with an edge it is not on.
    if (det[h] != 0.0) w += (r[h] - dt[h] / r[i]) / det[h];
    if (det[i] != 0.0) w += (r[j] - dt[i] / r[i]) / det[i];
    weights[i] = w;
    total += w;
  }
  if (total == 0.0 || !std::isfinite(total)) {
    weights.assign(n, 0.0);
    nearestCorner(polygon, p, weights);
    return;
  }
  for (double& w : weights) w /= total;
}

}  // namespace geom
