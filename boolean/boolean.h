// The Boolean node's logic: two meshes combined by one of five operations, face identifiers
// and UVW values carried onto the result, mesh A passed through when the engine fails.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/log.h"
#include "core/outcome.h"
#include "core/topo_store.h"

namespace tsl::boolean {

inline constexpr const char* kFallbackWarning =
    "ICE BOOLEAN: Boolean core is corrupted , A input data is passed to out. Grow up size and "
    "after resize back or check Geo for self-intersections";

struct MeshInput {
  std::span<const Float3> points;
  std::span<const std::int32_t> description;
  // UVW per polygon node; used only when uvwIsArray (the port carries an array).
  bool uvwIsArray = false;
  std::span<const Float3> uvw;
  // Face identifiers: entry f * idStride for face f (stride 0: one value for all faces).
  // Entries beyond the end give no identifier (-2).
  std::vector<std::int32_t> ids;
  std::size_t idStride = 1;
};

struct BooleanInput {
  MeshInput a;
  MeshInput b;
  std::int32_t function = 0;        // 0 union, 1 intersection, 2 A - B, 3 B - A, 4 sym. diff.
  std::int32_t classification = 1;  // 0 normal, anything else edge
  bool triangulate = false;
  bool canonicalize = false;  // canonical order; no identifiers or UVW are carried
};

// Fills store (emptied first) and logs through log. Returns Published (store holds the
// result), PassThrough (the engine refused an operand or failed: store holds mesh A as given,
// the warning and the engine's reason are logged) or Empty (a mesh could not be built: one
// error line). Throws only std::bad_alloc, leaving store partly written.
Outcome combine(const BooleanInput& in, TopoStore& store, const Logger& log);

// The text of the About port.
const char* aboutText();

}  // namespace tsl::boolean
