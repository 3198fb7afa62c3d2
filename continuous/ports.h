// Port ids of the TSL_Continuous node, shared by the plug-in, the command and the tests.
#pragma once

#include <cstdint>

namespace tsl::continuous::port {

inline constexpr std::uint32_t kPoints = 0;  // mesh A
inline constexpr std::uint32_t kDescription = 1;
inline constexpr std::uint32_t kUvw = 2;
inline constexpr std::uint32_t kFaceId = 3;
inline constexpr std::uint32_t kKnifePoints = 4;      // every instance's points, back to back
inline constexpr std::uint32_t kKnifeDescriptor = 5;  // (a, b, c, -2) per knife triangle
inline constexpr std::uint32_t kKnifeUvw = 6;
inline constexpr std::uint32_t kOutput = 200;  // "Out Vtopo"

}  // namespace tsl::continuous::port
