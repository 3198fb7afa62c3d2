// Per-face and per-corner attributes carried through geom::Csg.
//
// Values are keyed by a mesh's id() and a face (and corner) index, so they survive an in-place
// transform of the mesh but not a reordering of its faces (canonicalize). An attribute attached
// to an engine reads the values of the operands' faces and stores values for the result's
// faces, which may then serve as an operand of a later computation.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "geom/csg.h"
#include "geom/error.h"
#include "geom/polyhedron.h"

namespace geom {

// How a result corner derives from the corners of its source face: count == 0 means a copy of
// source corner slot `begin`; otherwise weights[begin, begin + count) blend source corners.
struct CornerWeight {
  std::uint32_t slot;
  double weight;
};
struct CornerSource {
  std::uint32_t begin = 0;
  std::uint32_t count = 0;
};

// What the engine hands each attribute after a computation.
struct CsgResultView {
  const Polyhedron* operands[2] = {nullptr, nullptr};
  const Polyhedron* result = nullptr;
  std::span<const FaceOrigin> origins;    // per result face
  std::span<const CornerSource> corners;  // per result corner (face order, then corner order)
  std::span<const CornerWeight> weights;
};

class CsgAttribute {
 public:
  virtual ~CsgAttribute() = default;
  // True when the attribute needs the per-corner derivation of the result.
  virtual bool needsCorners() const = 0;
  // Stores values for the result's faces (called by geom::Csg after each computation).
  virtual void interpolate(const CsgResultView& view) = 0;
  // Drops the values held for mesh's faces (for example a mesh that is about to be freed).
  virtual void forget(const Polyhedron& mesh) = 0;
};

namespace detail {

// The values of each mesh, keyed by its id(), one slot per face or per corner.
template <class T>
class AttrTables : public CsgAttribute {
 public:
  // Drops the values of a mesh (for example a work body that is about to be freed).
  void forget(const Polyhedron& mesh) override { tables_.erase(mesh.id()); }
  void clear() { tables_.clear(); }

 protected:
  struct Table {
    std::vector<T> values;
    std::vector<std::uint8_t> has;
  };
  const Table* find(std::uint64_t id) const {
    auto it = tables_.find(id);
    return it == tables_.end() ? nullptr : &it->second;
  }
  // Sets slot i of the mesh's table, which is grown to `slots` slots first.
  void store(const Polyhedron& mesh, std::size_t slots, std::size_t i, const T& value) {
    Table& t = tables_[mesh.id()];
    if (t.has.size() < slots) {
      t.values.resize(slots);
      t.has.resize(slots, 0);
    }
    t.values[i] = value;
    t.has[i] = 1;
  }
  void replace(const Polyhedron& mesh, Table table) { tables_[mesh.id()] = std::move(table); }
  // Sets slots [0, values.size()) of the mesh's table, grown to `slots` slots first. Requires
  // values.size() <= slots.
  void storeFirst(const Polyhedron& mesh, std::size_t slots, std::span<const T> values) {
    Table& t = tables_[mesh.id()];
    if (t.has.size() < slots) {
      t.values.resize(slots);
      t.has.resize(slots, 0);
    }
    std::copy(values.begin(), values.end(), t.values.begin());
    std::fill(t.has.begin(), t.has.begin() + static_cast<std::ptrdiff_t>(values.size()), 1);
  }
  // The tables of a computation's operands (null for one without values).
  std::array<const Table*, 2> operandTables(const CsgResultView& view) const {
    return {find(view.operands[0]->id()), find(view.operands[1]->id())};
  }

 private:
  std::unordered_map<std::uint64_t, Table> tables_;
};

}  // namespace detail

// One value per face. A result face takes its source face's value, if that has one.
template <class T>
class FaceAttr : public detail::AttrTables<T> {
  using Table = typename detail::AttrTables<T>::Table;

 public:
  // Throws geom::Error when face is not below mesh.faceCount().
  void setAttribute(const Polyhedron& mesh, std::size_t face, const T& value);
  // Gives faces 0 .. values.size() - 1 their values at once. Throws geom::Error when there are
  // more values than faces.
  void setAttributes(const Polyhedron& mesh, std::span<const T> values);
  // Whether face has a value.
  bool hasAttribute(const Polyhedron& mesh, std::size_t face) const;
  // The value of face, or def when it has none.
  T getAttribute(const Polyhedron& mesh, std::size_t face, const T& def = T()) const;
  bool needsCorners() const override { return false; }
  void interpolate(const CsgResultView& view) override;
};

// One value per face corner. T must be default constructible as zero and provide
// T operator*(const T&, double) (scaling by a weight) and T operator+(const T&, const T&).
// A result corner that is a corner of its source face copies that corner's value; any other
// corner is the weighted sum, in source corner order, of the source corners' values with the
// mean-value weights of geom::meanValueWeights in the source face's own coordinates. A source
// face with any corner without a value gives its result faces no values.
template <class T>
class FaceVertexAttr : public detail::AttrTables<T> {
  using Table = typename detail::AttrTables<T>::Table;

 public:
  // Throws geom::Error when face or corner is out of range for mesh.
  void setAttribute(const Polyhedron& mesh, std::size_t face, std::size_t corner, const T& value);
  // Gives the first values.size() corners, in face order, their values at once. Throws
  // geom::Error when there are more values than corners.
  void setAttributes(const Polyhedron& mesh, std::span<const T> values);
  // Whether the corner has a value.
  bool hasAttribute(const Polyhedron& mesh, std::size_t face, std::size_t corner) const;
  // The value of the corner, or def when it has none.
  T getAttribute(const Polyhedron& mesh, std::size_t face, std::size_t corner,
                 const T& def = T()) const;
  bool needsCorners() const override { return true; }
  void interpolate(const CsgResultView& view) override;

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t index(const Polyhedron& mesh, std::size_t face, std::size_t corner) const;
};

}  // namespace geom

#include "geom/csg/attributes_impl.h"
