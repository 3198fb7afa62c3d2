// Where fracture pieces face each other across the gap the cut leaves between them: the bonds a
// rigid-body solver glues them with.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "geom/vec3.h"

namespace cli {

struct Contact {
  int a = 0, b = 0;     // parts, a < b
  double area = 0.0;    // of the region where their faces overlap, seen across the gap
  geom::Vec3 centroid;  // of that region, halfway across the gap
  geom::Vec3 normal;    // unit, from a towards b
};

// The contacts between parts: for every two cut faces (identifier -2) of different
// parts (part[f] >= 0) whose planes face each other (opposite normals within 0.8 degrees) at most
// maxGap apart, the area where one covers the other seen along the normal; summed per pair of
// parts. Pairs whose overlap is below minArea are left out. The result is ordered by (a, b) and
// does not depend on the order of the faces but for rounding. Requires one part and one
// identifier per face and valid point indices.
std::vector<Contact> findContacts(std::span<const std::array<float, 3>> points,
                                  std::span<const std::vector<int>> faces,
                                  std::span<const int> part, std::span<const std::int32_t> ids,
                                  double maxGap, double minArea);

}  // namespace cli
