// Port ids of the TSL_Voronoi node, shared by the plug-in, the command and the tests.
#pragma once

#include <cstdint>

namespace tsl::voronoi::port {

inline constexpr std::uint32_t kPoints = 0;
inline constexpr std::uint32_t kDescription = 1;
inline constexpr std::uint32_t kUvw = 2;
inline constexpr std::uint32_t kCentres = 3;
inline constexpr std::uint32_t kThickness = 4;  // "Knife Thickness"
inline constexpr std::uint32_t kFaceId = 6;
inline constexpr std::uint32_t kUvScale = 7;
inline constexpr std::uint32_t kOutput = 200;  // "Out Vtopo"

}  // namespace tsl::voronoi::port
