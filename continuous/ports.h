// The ports of the TSL_Continuous node, shared by the plug-in, the command and the tests.
#pragma once

#include "core/port_table.h"

namespace tsl::continuous::port {

inline constexpr InputPort kPoints{0, kVector3Data, "Points", "A_Points", vector3(1, 1, 1)};
inline constexpr InputPort kDescription{1, kLongData, "Descriptor", "A_Descriptor", integer(0)};
inline constexpr InputPort kUvw{2, kVector3Data, "UVW", "A_UVW", vector3(1, 1, 1)};
inline constexpr InputPort kFaceId{3, kLongData, "Face ID", "Face_ID", integer(0)};
// Every instance's points, back to back.
inline constexpr InputPort kKnifePoints{4, kVector3Data, "Knife Points", "Knife_Points",
                                        vector3(1, 1, 1)};
// (a, b, c, -2) per knife triangle.
inline constexpr InputPort kKnifeDescriptor{5, kLongData, "Knife Descriptor", "Knife_Description",
                                            integer(0)};
// Has an integer default although it carries 3-vectors.
inline constexpr InputPort kKnifeUvw{6, kVector3Data, "Knife UVW", "Knife_UVW", integer(0)};
inline constexpr std::uint32_t kOutput = 200;

}  // namespace tsl::continuous::port
