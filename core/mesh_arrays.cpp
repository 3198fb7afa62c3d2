#include "core/mesh_arrays.h"

#include <cmath>

namespace tsl {

DecodedDescription decodeDescription(std::span<const std::int32_t> description) {
  DecodedDescription out;
  out.faceIndices.reserve(description.size() / 4 * 5);
  std::vector<int> pending;
  pending.reserve(100);
  for (std::int32_t v : description) {
    if (v == kPolygonEnd) {
      out.faceIndices.push_back(static_cast<int>(pending.size()));
      out.faceIndices.insert(out.faceIndices.end(), pending.begin(), pending.end());
      ++out.faceCount;
      pending.clear();
    } else {
      pending.push_back(v);
    }
  }
  return out;
}

bool allFinite(std::span<const Float3> points) {
  for (const Float3& p : points) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
  }
  return true;
}

std::vector<geom::Vec3> widenPoints(std::span<const Float3> points) {
  std::vector<geom::Vec3> out;
  out.reserve(points.size());
  for (const Float3& p : points) out.push_back({p.x, p.y, p.z});
  return out;
}

std::unique_ptr<geom::Polyhedron> buildWorkingMesh(std::span<const Float3> points,
                                                   std::span<const std::int32_t> description) {
  const DecodedDescription d = decodeDescription(description);
  return std::make_unique<geom::Polyhedron>(widenPoints(points), d.faceCount, d.faceIndices);
}

bool acceptFaceIds(bool isArray, std::size_t count, std::size_t faceCount, const Logger& log) {
  if (!isArray || count == 0) return false;
  if (count == faceCount) return true;
  log(Severity::Warning, kFaceIdMismatch);
  return false;
}

bool acceptUvw(bool isArray, std::size_t count, std::size_t descriptionLength,
               std::size_t faceCount, const Logger& log) {
  if (!isArray) return false;
  if (descriptionLength >= faceCount && count == descriptionLength - faceCount) return true;
  if (count <= 1) return false;
  log(Severity::Warning, kUvMismatch);
  return false;
}

}  // namespace tsl
