// What follows an operand that the engine replaced by a resolved surface (mended, taken apart,
// its crossings resolved): the islands it drops, its faces' attribute values, and forgetting
// those values when the computation ends.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "geom/csg/operand.h"
#include "geom/csg/resolve.h"
#include "geom/csg_attributes.h"
#include "geom/polyhedron.h"

namespace geom::csg {

// The operand op without the islands marked in drop (one flag per island of op); from is what
// op was resolved from, if anything, so that the provenance goes back to the operand as given.
ResolvedOperand withoutIslands(const TriangulatedOperand& op, const std::vector<std::uint8_t>& drop,
                               const ResolvedOperand* from);

// Gives the faces of r the attribute values of the operand given, which r stands for: a corner
// at a corner of its source face copies that corner's value, any other is interpolated in the
// source face. Requires r.sourceFace to index given's faces.
void carryValues(const Polyhedron& given, const ResolvedOperand& r,
                 const std::vector<CsgAttribute*>& attributes);

// Drops the values attributes hold for resolved operands when the computation ends, however it
// ends: those meshes die with it.
class ForgetOnExit {
 public:
  ForgetOnExit(const std::vector<CsgAttribute*>& attributes,
               const std::optional<ResolvedOperand> (&resolved)[2])
      : attributes_(attributes), resolved_(resolved) {}
  ~ForgetOnExit() {
    for (const auto& r : resolved_) {
      if (!r) continue;
      for (CsgAttribute* attr : attributes_) attr->forget(r->mesh);
    }
  }
  ForgetOnExit(const ForgetOnExit&) = delete;
  ForgetOnExit& operator=(const ForgetOnExit&) = delete;

 private:
  const std::vector<CsgAttribute*>& attributes_;
  const std::optional<ResolvedOperand> (&resolved_)[2];
};

}  // namespace geom::csg
