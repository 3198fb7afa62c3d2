// The ports of the TSL_Combiner node, shared by the plug-in, the command and the tests.
#pragma once

#include "core/port_table.h"

namespace tsl::combiner::port {

inline constexpr InputPort kPoints{0, kVector3Data, "Point Position", "Point_Position",
                                   vector3(1, 1, 1)};
inline constexpr InputPort kDescription{1, kLongData, "Polygonal Description",
                                        "Polygonal_Description", integer(0)};
inline constexpr InputPort kUvw{2, kVector3Data, "UVW", "UVW", vector3(1, 1, 1)};
// One identifier for all faces, or one per face.
inline constexpr InputPort kFaceId{3, kLongData, "Face ID", "Face_ID", integer(0)};
// -1: no filter.
inline constexpr InputPort kFilter{5, kLongData, "Filter By ID", "Filter_By_ID", integer(-1)};
inline constexpr std::uint32_t kOutput = 202;

}  // namespace tsl::combiner::port
