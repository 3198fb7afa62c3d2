// Plain-array side of mesh input: decoding the polygonal description, building the working
// mesh, and the policies that decide whether face identifiers and UVW values are used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "core/log.h"
#include "core/topo_store.h"
#include "geom/polyhedron.h"

namespace tsl {

inline constexpr std::int32_t kPolygonEnd = -2;

inline constexpr const char* kFaceIdMismatch =
    "Faces ID Array size doesn't much faces count , bypassed";
inline constexpr const char* kUvMismatch = "UV samples count doesn't much faces count, UV bypassed";

// The polygons of a description in which -2 closes every polygon, as rows: polygon f has the
// corners [offsets[f], offsets[f + 1]) of corners (offsets starts at 0). Indices still pending
// at the end (no closing -2) form no face; other negative values are kept as indices for the
// mesh constructor to reject. Throws geom::Error when the corners do not fit 32-bit offsets.
struct DecodedDescription {
  std::vector<std::uint32_t> offsets{0};
  std::vector<int> corners;
  std::size_t faceCount() const { return offsets.size() - 1; }
};
DecodedDescription decodeDescription(std::span<const std::int32_t> description);

// True when every coordinate of every point (used by a face or not) is finite.
bool allFinite(std::span<const Float3> points);

// Input points widened to double, same order.
std::vector<geom::Vec3> widenPoints(std::span<const Float3> points);

// The working mesh over all points (unused ones stay) and every closed polygon.
// Throws geom::Error on an index that is negative or not below points.size().
std::unique_ptr<geom::Polyhedron> buildWorkingMesh(std::span<const Float3> points,
                                                   std::span<const std::int32_t> description);

// Broadcast identifiers: one entry labels every face, otherwise face f takes entry f. A face
// beyond the end of a shorter list has no identifier (-2), so a short list never reads past
// its end.
class BroadcastFaceIds {
 public:
  explicit BroadcastFaceIds(std::vector<std::int32_t> ids) : ids_(std::move(ids)) {}
  std::int32_t at(std::size_t face) const {
    if (ids_.size() == 1) return ids_[0];
    return face < ids_.size() ? ids_[face] : kPolygonEnd;
  }

 private:
  std::vector<std::int32_t> ids_;
};

// Validating identifier policy: true (use) when an array holds exactly faceCount entries;
// false silently for a single value or an empty array; false with the warning otherwise.
bool acceptFaceIds(bool isArray, std::size_t count, std::size_t faceCount, const Logger& log);

// Validating UVW policy: true (use) when an array holds descriptionLength - faceCount entries;
// false silently for a single value or 0 or 1 entries; false with the warning otherwise.
bool acceptUvw(bool isArray, std::size_t count, std::size_t descriptionLength,
               std::size_t faceCount, const Logger& log);

// Copy policy: an array of at least 3 entries is used whole, anything else is not used.
inline bool copyPolicyUvw(bool isArray, std::size_t count) {
  return isArray && count >= 3;
}

}  // namespace tsl
