// Knife instances waiting to be subtracted from the work body together.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "geom/polyhedron.h"

namespace tsl::continuous {

// Instances whose boxes are apart cannot meet, so subtracting them as one operand of several
// islands removes exactly what subtracting them one after another removes, for one pass over
// the work body instead of one per instance.
class KnifeBatch {
 public:
  // Whether k fits the batch: the batch has room and k's box is strictly apart from the box
  // of every instance held (true for an empty batch).
  bool apartFrom(const geom::Polyhedron& k) const;
  // Holds k (not null).
  void add(std::unique_ptr<geom::Polyhedron> k);
  std::size_t size() const { return knives_.size(); }
  // Instance n of those held, in the order added; n < size().
  const geom::Polyhedron& knife(std::size_t n) const { return *knives_[n]; }
  // The instances held as one mesh: their points and then their faces in the order added
  // (face f of instance n is face n * faces + f when every instance has that many faces).
  // Valid until the next add or clear.
  const geom::Polyhedron& joined();
  void clear();

  // More instances in one operand only add to the pair tests of its own checks.
  static constexpr std::size_t kMostInstances = 256;

 private:
  struct Box {
    geom::Vec3 lo, hi;
  };
  static Box boxOf(const geom::Polyhedron& k);
  std::vector<std::unique_ptr<geom::Polyhedron>> knives_;
  std::vector<Box> boxes_;
  std::optional<geom::Polyhedron> joined_;
};

}  // namespace tsl::continuous
