// Per-face and per-corner attributes carried through geom::Csg.
//
// Values are keyed by a mesh's id() and a face (and corner) index, so they survive an in-place
// transform of the mesh but not a reordering of its faces (canonicalize). An attribute attached
// to an engine reads the values of the operands' faces and stores values for the result's
// faces, which may then serve as an operand of a later computation.
#pragma once

#include <cstdint>
#include <span>
#include <string>
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

// One value per face. A result face takes its source face's value, if that has one.
template <class T>
class FaceAttr : public CsgAttribute {
 public:
  // Throws geom::Error when face is not below mesh.faceCount().
  void setAttribute(const Polyhedron& mesh, std::size_t face, const T& value) {
    if (face >= mesh.faceCount()) {
      throw Error("FaceAttr: face " + std::to_string(face) + " out of range (mesh has " +
                  std::to_string(mesh.faceCount()) + " faces)");
    }
    Table& t = tables_[mesh.id()];
    if (t.has.size() < mesh.faceCount()) {
      t.values.resize(mesh.faceCount());
      t.has.resize(mesh.faceCount(), 0);
    }
    t.values[face] = value;
    t.has[face] = 1;
  }
  bool hasAttribute(const Polyhedron& mesh, std::size_t face) const {
    const Table* t = find(mesh.id());
    return t != nullptr && face < t->has.size() && t->has[face];
  }
  // The value of face, or def when it has none.
  T getAttribute(const Polyhedron& mesh, std::size_t face, const T& def = T()) const {
    const Table* t = find(mesh.id());
    return t != nullptr && face < t->has.size() && t->has[face] ? t->values[face] : def;
  }
  // Drops the values of a mesh (for example a work body that is about to be freed).
  void forget(const Polyhedron& mesh) override { tables_.erase(mesh.id()); }
  void clear() { tables_.clear(); }

  bool needsCorners() const override { return false; }
  void interpolate(const CsgResultView& view) override {
    const Table* src[2] = {find(view.operands[0]->id()), find(view.operands[1]->id())};
    if (src[0] == nullptr && src[1] == nullptr) return;
    const std::size_t faces = view.result->faceCount();
    Table out;
    out.values.resize(faces);
    out.has.assign(faces, 0);
    for (std::size_t f = 0; f < faces; ++f) {
      const FaceOrigin& o = view.origins[f];
      const Table* t = src[o.operand];
      if (t != nullptr && o.face < t->has.size() && t->has[o.face]) {
        out.values[f] = t->values[o.face];
        out.has[f] = 1;
      }
    }
    tables_[view.result->id()] = std::move(out);
  }

 private:
  struct Table {
    std::vector<T> values;
    std::vector<std::uint8_t> has;
  };
  const Table* find(std::uint64_t id) const {
    auto it = tables_.find(id);
    return it == tables_.end() ? nullptr : &it->second;
  }
  std::unordered_map<std::uint64_t, Table> tables_;
};

// One value per face corner. T must be default constructible as zero and provide
// T operator*(const T&, double) (scaling by a weight) and T operator+(const T&, const T&).
// A result corner that is a corner of its source face copies that corner's value; any other
// corner is the weighted sum, in source corner order, of the source corners' values with the
// mean-value weights of geom::meanValueWeights in the source face's own coordinates. A source
// face with any corner without a value gives its result faces no values.
template <class T>
class FaceVertexAttr : public CsgAttribute {
 public:
  // Throws geom::Error when face or corner is out of range for mesh.
  void setAttribute(const Polyhedron& mesh, std::size_t face, std::size_t corner, const T& value) {
    if (face >= mesh.faceCount() || corner >= mesh.face(face).size()) {
      throw Error("FaceVertexAttr: face " + std::to_string(face) + " corner " +
                  std::to_string(corner) + " out of range");
    }
    Table& t = tables_[mesh.id()];
    if (t.has.size() < mesh.cornerCount()) {
      t.values.resize(mesh.cornerCount());
      t.has.resize(mesh.cornerCount(), 0);
    }
    const std::size_t i = mesh.firstCorner(face) + corner;
    t.values[i] = value;
    t.has[i] = 1;
  }
  bool hasAttribute(const Polyhedron& mesh, std::size_t face, std::size_t corner) const {
    return index(mesh, face, corner) != kNone;
  }
  // The value of the corner, or def when it has none.
  T getAttribute(const Polyhedron& mesh, std::size_t face, std::size_t corner,
                 const T& def = T()) const {
    const std::size_t i = index(mesh, face, corner);
    return i == kNone ? def : find(mesh.id())->values[i];
  }
  void forget(const Polyhedron& mesh) override { tables_.erase(mesh.id()); }
  void clear() { tables_.clear(); }

  bool needsCorners() const override { return true; }
  void interpolate(const CsgResultView& view) override {
    const Table* src[2] = {find(view.operands[0]->id()), find(view.operands[1]->id())};
    if (src[0] == nullptr && src[1] == nullptr) return;
    const Polyhedron& res = *view.result;
    Table out;
    out.values.resize(res.cornerCount());
    out.has.assign(res.cornerCount(), 0);
    for (std::size_t f = 0; f < res.faceCount(); ++f) {
      const FaceOrigin& o = view.origins[f];
      const Table* t = src[o.operand];
      if (t == nullptr) continue;
      const Polyhedron& srcMesh = *view.operands[o.operand];
      const std::size_t base = srcMesh.firstCorner(o.face);
      const std::size_t n = srcMesh.face(o.face).size();
      if (base + n > t->has.size()) continue;
      bool complete = true;
      for (std::size_t k = 0; k < n && complete; ++k) complete = t->has[base + k] != 0;
      if (!complete) continue;
      const std::size_t first = res.firstCorner(f);
      const std::size_t size = res.face(f).size();
      for (std::size_t k = 0; k < size; ++k) {
        const CornerSource& cs = view.corners[first + k];
        if (cs.count == 0) {
          out.values[first + k] = t->values[base + cs.begin];
        } else {
          T acc{};
          for (std::uint32_t w = cs.begin; w < cs.begin + cs.count; ++w) {
            const CornerWeight& cw = view.weights[w];
            acc = acc + t->values[base + cw.slot] * cw.weight;
          }
          out.values[first + k] = acc;
        }
        out.has[first + k] = 1;
      }
    }
    tables_[res.id()] = std::move(out);
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  struct Table {
    std::vector<T> values;
    std::vector<std::uint8_t> has;
  };
  const Table* find(std::uint64_t id) const {
    auto it = tables_.find(id);
    return it == tables_.end() ? nullptr : &it->second;
  }
  std::size_t index(const Polyhedron& mesh, std::size_t face, std::size_t corner) const {
    const Table* t = find(mesh.id());
    if (t == nullptr || face >= mesh.faceCount() || corner >= mesh.face(face).size()) return kNone;
    const std::size_t i = mesh.firstCorner(face) + corner;
    return i < t->has.size() && t->has[i] ? i : kNone;
  }
  std::unordered_map<std::uint64_t, Table> tables_;
};

}  // namespace geom
