// The member definitions of geom::FaceAttr and geom::FaceVertexAttr (templates, so in a
// header); included by geom/csg_attributes.h only.
#pragma once

#include <string>
#include <utility>

#include "geom/csg_attributes.h"
#include "geom/error.h"

namespace geom {

template <class T>
void FaceAttr<T>::setAttribute(const Polyhedron& mesh, std::size_t face, const T& value) {
  if (face >= mesh.faceCount()) {
    throw Error("FaceAttr: face " + std::to_string(face) + " out of range (mesh has " +
                std::to_string(mesh.faceCount()) + " faces)");
  }
  this->store(mesh, mesh.faceCount(), face, value);
}

template <class T>
void FaceAttr<T>::setAttributes(const Polyhedron& mesh, std::span<const T> values) {
  if (values.size() > mesh.faceCount()) {
    throw Error("FaceAttr: " + std::to_string(values.size()) + " values for " +
                std::to_string(mesh.faceCount()) + " faces");
  }
  this->storeFirst(mesh, mesh.faceCount(), values);
}

template <class T>
bool FaceAttr<T>::hasAttribute(const Polyhedron& mesh, std::size_t face) const {
  const Table* t = this->find(mesh.id());
  return t != nullptr && face < t->has.size() && t->has[face];
}

template <class T>
T FaceAttr<T>::getAttribute(const Polyhedron& mesh, std::size_t face, const T& def) const {
  const Table* t = this->find(mesh.id());
  return t != nullptr && face < t->has.size() && t->has[face] ? t->values[face] : def;
}

template <class T>
void FaceAttr<T>::interpolate(const CsgResultView& view) {
  const auto src = this->operandTables(view);
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
  this->replace(*view.result, std::move(out));
}

template <class T>
void FaceVertexAttr<T>::setAttribute(const Polyhedron& mesh, std::size_t face, std::size_t corner,
                                     const T& value) {
  if (face >= mesh.faceCount() || corner >= mesh.face(face).size()) {
    throw Error("FaceVertexAttr: face " + std::to_string(face) + " corner " +
                std::to_string(corner) + " out of range");
  }
  this->store(mesh, mesh.cornerCount(), mesh.firstCorner(face) + corner, value);
}

template <class T>
void FaceVertexAttr<T>::setAttributes(const Polyhedron& mesh, std::span<const T> values) {
  if (values.size() > mesh.cornerCount()) {
    throw Error("FaceVertexAttr: " + std::to_string(values.size()) + " values for " +
                std::to_string(mesh.cornerCount()) + " corners");
  }
  this->storeFirst(mesh, mesh.cornerCount(), values);
}

template <class T>
bool FaceVertexAttr<T>::hasAttribute(const Polyhedron& mesh, std::size_t face,
                                     std::size_t corner) const {
  return index(mesh, face, corner) != kNone;
}

template <class T>
T FaceVertexAttr<T>::getAttribute(const Polyhedron& mesh, std::size_t face, std::size_t corner,
                                  const T& def) const {
  const std::size_t i = index(mesh, face, corner);
  return i == kNone ? def : this->find(mesh.id())->values[i];
}

template <class T>
void FaceVertexAttr<T>::interpolate(const CsgResultView& view) {
  const auto src = this->operandTables(view);
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
  this->replace(res, std::move(out));
}

template <class T>
std::size_t FaceVertexAttr<T>::index(const Polyhedron& mesh, std::size_t face,
                                     std::size_t corner) const {
  const Table* t = this->find(mesh.id());
  if (t == nullptr || face >= mesh.faceCount() || corner >= mesh.face(face).size()) return kNone;
  const std::size_t i = mesh.firstCorner(face) + corner;
  return i < t->has.size() && t->has[i] ? i : kNone;
}

}  // namespace geom
