#include "core/mesh_arrays.h"

#include <cmath>
#include <cstdint>
#include <utility>

#include "geom/error.h"

namespace tsl {

DecodedDescription decodeDescription(std::span<const std::int32_t> description) {
  DecodedDescription out;
  out.corners.reserve(description.size());
  std::size_t pending = 0;  // corners of a polygon not closed yet
  for (const std::int32_t v : description) {
    if (v != kPolygonEnd) {
      out.corners.push_back(v);
      ++pending;
      continue;
    }
    if (out.corners.size() > UINT32_MAX) throw geom::Error("the mesh has too many face corners");
    out.offsets.push_back(static_cast<std::uint32_t>(out.corners.size()));
    pending = 0;
  }
  out.corners.resize(out.corners.size() - pending);
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
  DecodedDescription d = decodeDescription(description);
  return std::make_unique<geom::Polyhedron>(widenPoints(points), std::move(d.offsets),
                                            std::move(d.corners));
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
