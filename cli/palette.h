// The colours of the files and pictures a run writes.
#pragma once

#include <array>
#include <cstdint>

namespace cli {

using Rgb = std::array<float, 3>;  // linear 0..1

// A colour for face identifier id: distinct hues for neighbouring numbers; the cut faces
// (kCutFaceId) a pale cream, so they read as fresh material in any application.
Rgb identifierColour(std::int32_t id);

// A colour for piece n of a result: hues spread by the golden angle, so neighbours differ.
Rgb pieceColour(int piece);

// c mixed towards white by amount (0..1): cut faces in the preview.
Rgb lighter(const Rgb& c, float amount);

}  // namespace cli
