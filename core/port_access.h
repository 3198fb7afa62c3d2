// Host binding of the node inputs and output: every acquired host array is held by an object
// that gives it back when it goes out of scope, on every path.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "core/topo_store.h"
#include "xsi_icenodecontext.h"

namespace tsl {

// The arrays of one input mesh as its ports deliver them. UVW is read only from an array;
// identifiers are an array's entries or a single value's one entry.
struct MeshArrays {
  std::vector<Float3> points;
  std::vector<std::int32_t> description;
  bool uvwIsArray = false;
  std::vector<Float3> uvw;
  bool idsIsArray = false;
  std::vector<std::int32_t> ids;
};

// Points, description and UVW of mesh into a node's input (which views them, so mesh must
// outlive it), and the identifiers where the input takes them as an array or nothing.
template <class NodeInput>
void bindMesh(const MeshArrays& mesh, NodeInput& in) {
  in.points = mesh.points;
  in.description = mesh.description;
  in.uvwIsArray = mesh.uvwIsArray;
  in.uvw = mesh.uvw;
  if constexpr (requires { in.idsIsArray; }) {
    in.idsIsArray = mesh.idsIsArray;
    if (mesh.idsIsArray) in.ids = mesh.ids;
  }
}

// The inputs of one evaluation. Every port is declared "single value or array": a reader asks
// for the structure the host delivers and reads accordingly. Each read acquires the port's
// array and releases it before returning. Unknown ports read as empty.
class Ports {
 public:
  explicit Ports(XSI::ICENodeContext& ctx) : ctx_(ctx) {}

  XSI::ICENodeContext& context() { return ctx_; }

  // True when the host delivers a single value on port (structure code 1).
  bool isSingle(XSI::ULONG port);
  // True when any of the ports delivers a single value: the mesh arrays of a node make no
  // sense as one value, and such an evaluation publishes the empty output.
  bool anySingle(std::initializer_list<XSI::ULONG> ports);

  // Sub-array 0 of an array input, copied; element 0 stands for every element of a sub-array
  // the host marks constant. Empty when the port has no sub-array or delivers no data.
  std::vector<Float3> vector3Array(XSI::ULONG port);
  std::vector<std::int32_t> longArray(XSI::ULONG port);

  // The mesh on the four ports.
  MeshArrays mesh(XSI::ULONG points, XSI::ULONG description, XSI::ULONG uvw, XSI::ULONG faceId);

  // Integers as delivered: an array's entries, or a single value's one entry (none when the
  // value carries no data).
  std::vector<std::int32_t> longValues(XSI::ULONG port);

  // An option: a single value, or the first entry of an array; fallback when the value carries
  // no data or the array is empty.
  std::int32_t longOption(XSI::ULONG port, std::int32_t fallback);
  float floatOption(XSI::ULONG port, float fallback);
  bool boolOption(XSI::ULONG port, bool fallback);

 private:
  XSI::ICENodeContext& ctx_;
};

// An output of an evaluation (by default the custom-type one), acquired on construction and
// released on destruction; twoD acquires it as sub-arrays (the string output).
class OutputArray {
 public:
  explicit OutputArray(XSI::ICENodeContext& ctx, XSI::ULONG dataType = 65536, bool twoD = false);
  OutputArray(const OutputArray&) = delete;
  OutputArray& operator=(const OutputArray&) = delete;
  ~OutputArray();
  XSI::CDataArrayRef& ref() { return ref_; }

 private:
  XSI::ICENodeContext& ctx_;
  XSI::CDataArrayRef ref_;
  bool acquired_ = false;
};

}  // namespace tsl
