// The fracture manifest: every piece of the tree with what a rigid-body solver needs, and the
// bonds between the leaves (JSON, keys in a fixed order). The same piece fields go into each GLB
// node's extras.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "cli/fracture.h"

namespace cli {

// name, level, parent (a name or null), leaf (true for a piece written), fate ("leaf", "broken",
// "merged", "dropped"), children (names), merged_into (a name or null), absorbed (names), centre,
// volume, centroid, inertia (3 x 3, about the centroid, unit density), bounds ({"min", "max"}).
nlohmann::ordered_json pieceJson(const Fracture& fracture, int piece);

// {"mesh", "seed", "thickness", "levels", "counts": {asked, made, merged, dropped, pieces,
// evaluations}, "pieces": [pieceJson of every piece], "bonds": [{"a", "b", "area", "centroid",
// "normal"}]}.
nlohmann::ordered_json manifestJson(const Fracture& fracture, const std::string& mesh,
                                    std::uint32_t seed, double thickness, int levels);

}  // namespace cli
