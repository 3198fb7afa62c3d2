// The Voronoi node's logic: a closed mesh cut by all shrunken cells at once into pieces
// separated by the knife's gap, with planar UVW on the faces cut from the cell walls.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "core/log.h"
#include "core/outcome.h"
#include "core/progress.h"
#include "core/topo_store.h"

namespace tsl::voronoi {

struct VoronoiInput {
  std::span<const Float3> points;
  std::span<const std::int32_t> description;
  bool uvwIsArray = false;
  std::span<const Float3> uvw;
  bool idsIsArray = false;
  std::span<const std::int32_t> ids;
  std::span<const Float3> centres;
  float thickness = 0.001f;
  // Read only when UVW values are carried (a value without data reads 0).
  std::function<float()> uvScale = [] { return 0.0f; };
};

// Fills store (emptied first) and logs through log. Reports its stages (cells, cut, assembly)
// to progress; when progress says stop, it stops at the next cell or stage, logs one warning
// and gives Empty. Returns Published (store holds the pieces) or Empty (a gate, the cells or the
// cut gave up, with its line in the log). Throws only std::bad_alloc, leaving store partly
// written.
Outcome fracture(const VoronoiInput& in, TopoStore& store, const Logger& log,
                 const Progress& progress = Progress());

}  // namespace tsl::voronoi
