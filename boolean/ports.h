// Port ids of the TSL_ICE_Boolean node, shared by the plug-in, the command and the tests.
#pragma once

#include <cstdint>

namespace tsl::boolean::port {

inline constexpr std::uint32_t kAPoints = 0;
inline constexpr std::uint32_t kADescription = 1;
inline constexpr std::uint32_t kAUvw = 2;
inline constexpr std::uint32_t kBPoints = 3;
inline constexpr std::uint32_t kBDescription = 4;
inline constexpr std::uint32_t kBUvw = 5;
inline constexpr std::uint32_t kFunction = 6;        // 0 union, 1 intersection, 2 A-B, 3 B-A, 4 xor
inline constexpr std::uint32_t kClassification = 7;  // 0 normal, 1 edge
inline constexpr std::uint32_t kTriangulate = 8;
inline constexpr std::uint32_t kAFaceId = 9;
inline constexpr std::uint32_t kBFaceId = 10;
inline constexpr std::uint32_t kCanonicalize = 11;
inline constexpr std::uint32_t kOutput = 201;  // "Out Vtopo"
inline constexpr std::uint32_t kAbout = 202;   // the About text

}  // namespace tsl::boolean::port
