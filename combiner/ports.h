// Port ids of the TSL_Combiner node, shared by the plug-in, the command and the tests.
#pragma once

#include <cstdint>

namespace tsl::combiner::port {

inline constexpr std::uint32_t kPoints = 0;       // "Point Position", 3-vectors
inline constexpr std::uint32_t kDescription = 1;  // "Polygonal Description", -2 closes a polygon
inline constexpr std::uint32_t kUvw = 2;          // "UVW", one per polygon node
inline constexpr std::uint32_t kFaceId = 3;       // "Face ID", one for all faces or one per face
inline constexpr std::uint32_t kFilter = 5;       // "Filter By ID", -1: no filter
inline constexpr std::uint32_t kOutput = 202;     // "Out Vtopo"

}  // namespace tsl::combiner::port
