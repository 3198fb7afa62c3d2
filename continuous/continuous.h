// The Continuous node's logic: a closed mesh carved by a series of closed knife solids that
// share one triangle topology and differ in their points.
#pragma once

#include <cstdint>
#include <span>

#include "core/log.h"
#include "core/outcome.h"
#include "core/progress.h"
#include "core/topo_store.h"

namespace tsl::continuous {

struct ContinuousInput {
  std::span<const Float3> points;  // mesh A
  std::span<const std::int32_t> description;
  bool uvwIsArray = false;  // A's UVW port carries an array
  std::span<const Float3> uvw;
  bool idsIsArray = false;  // A's Face ID port carries an array
  std::span<const std::int32_t> ids;
  std::span<const Float3> knifePoints;            // every instance's points, back to back
  std::span<const std::int32_t> knifeDescriptor;  // (a, b, c, -2) per knife triangle
  bool knifeUvwIsArray = false;
  std::span<const Float3> knifeUvw;  // three per knife triangle
};

// Knife quantities of a descriptor of length d: triangles, points per instance.
struct KnifeShape {
  std::uint32_t triangles = 0;
  std::uint32_t pointsPerInstance = 2;
};
KnifeShape knifeShape(std::size_t descriptorLength);

// Fills store (emptied first) and logs through log. Reports the knife loop, one unit per
// instance, and the final cut to progress; when progress says stop, it stops before the next
// instance or the final cut, logs one warning and gives Empty. Returns Published (store holds
// the carved mesh), Empty (a gate or the final intersection gave up) or Unwritten (the knife
// descriptor is malformed: the output stays as it is). Throws only std::bad_alloc, leaving
// store partly written.
Outcome carve(const ContinuousInput& in, TopoStore& store, const Logger& log,
              const Progress& progress = Progress());

}  // namespace tsl::continuous
