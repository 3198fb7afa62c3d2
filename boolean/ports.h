// The ports of the TSL_ICE_Boolean node, shared by the plug-in, the command and the tests.
#pragma once

#include "core/port_table.h"

namespace tsl::boolean::port {

// The two meshes, side by side.
inline constexpr InputPort kAPoints{0, kVector3Data, "A Points", "A_Points", vector3(1, 1, 1)};
inline constexpr InputPort kBPoints{3, kVector3Data, "B Points", "B_Points", vector3(1, 1, 1)};
inline constexpr InputPort kADescription{1, kLongData, "A Descriptor", "A_Descriptor", integer(0)};
inline constexpr InputPort kBDescription{4, kLongData, "B Descriptor", "B_Descriptor", integer(0)};
inline constexpr InputPort kAUvw{2, kVector3Data, "A UVW", "A_UVW", vector3(1, 1, 1)};
inline constexpr InputPort kBUvw{5, kVector3Data, "B UVW", "B_UVW", vector3(1, 1, 1)};
inline constexpr InputPort kAFaceId{9, kLongData, "A Face ID", "A_FaceID", integer(0)};
inline constexpr InputPort kBFaceId{10, kLongData, "B Face ID", "B_FaceID", integer(0)};

// 0 union, 1 intersection, 2 A minus B, 3 B minus A, 4 symmetric difference.
inline constexpr InputPort kFunction{6,          kLongData,  "Function", "Function",
                                     integer(0), integer(0), integer(4)};
// 0 normal, 1 edge.
inline constexpr InputPort kClassification{
    7, kLongData, "Classification type", "Classification_type", integer(1), integer(0), integer(1)};
inline constexpr InputPort kTriangulate{8, kBoolData, "Triangulate", "Triangulate", flag(false)};
inline constexpr InputPort kCanonicalize{11, kBoolData, "Canonicalize", "Canonicalize",
                                         flag(false)};

inline constexpr std::uint32_t kOutput = 201;
inline constexpr std::uint32_t kAbout = 202;  // the About text

}  // namespace tsl::boolean::port
