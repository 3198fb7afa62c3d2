// Reading a published VastaTopo record the way a consumer node does: through the five array
// references, while the producing plug-in is still loaded and before its next evaluation.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "host/records.h"

namespace cli {

struct TopoMesh {
  std::vector<std::array<float, 3>> points;
  std::vector<std::int32_t> polygons;
  std::vector<std::array<float, 3>> uvw;
  std::vector<std::array<std::int32_t, 2>> faceInfo;  // (island, faceId)
  std::vector<std::array<float, 3>> bounds;

  std::size_t faceCount() const;
  std::size_t cornerCount() const { return polygons.size() - faceCount(); }
};

// Copies the arrays the 40 bytes refer to. Requires bytes.size() == 40 and the plug-in that
// published them loaded and not evaluated since.
TopoMesh readRecord(std::span<const std::uint8_t> bytes);

}  // namespace cli
