// The Combiner's node logic: publish a mesh whole with island labels, or only the faces of one
// identifier re-indexed over the points they use.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/log.h"
#include "core/outcome.h"
#include "core/topo_store.h"

namespace tsl::combiner {

inline constexpr std::int32_t kNoFilter = -1;

struct CombinerInput {
  std::span<const Float3> points;
  std::span<const std::int32_t> description;
  // One identifier for every face, or one per face (missing entries give -2).
  std::vector<std::int32_t> faceIds;
  // UVW per polygon node; used only when uvwIsArray (the port carries an array).
  bool uvwIsArray = false;
  std::span<const Float3> uvw;
  std::int32_t filter = kNoFilter;
};

// Fills store (emptied first) and logs through log. Returns Published when store holds the
// record to publish, Empty when the evaluation gave up (bad index or non-finite coordinates,
// with one line in the log). Throws only std::bad_alloc, leaving store partly written.
Outcome combine(const CombinerInput& in, TopoStore& store, const Logger& log);

}  // namespace tsl::combiner
