// The ports of the TSL_Voronoi node, shared by the plug-in, the command and the tests.
#pragma once

#include "core/port_table.h"

namespace tsl::voronoi::port {

inline constexpr InputPort kPoints{0, kVector3Data, "Points", "A_Points", vector3(1, 1, 1)};
inline constexpr InputPort kDescription{1, kLongData, "Descriptor", "A_Descriptor", integer(0)};
inline constexpr InputPort kUvw{2, kVector3Data, "UVW", "A_UVW", vector3(1, 1, 1)};
inline constexpr InputPort kCentres{3, kVector3Data, "Centers", "Centers", vector3(1, 1, 1)};
inline constexpr InputPort kThickness{4,           kFloatData,    "Knife Thickness", "Thickness",
                                      real(0.001), real(0.00005), real(0.9999)};
inline constexpr InputPort kFaceId{6, kLongData, "Face ID", "Face_ID", integer(0)};
// "UV Scale" has a minimum but no default.
inline constexpr InputPort kUvScale{7, kFloatData, "UV Scale", "UVSCL", noValue(), integer(1)};
inline constexpr std::uint32_t kOutput = 200;

}  // namespace tsl::voronoi::port
