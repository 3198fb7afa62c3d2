// Host binding of the node inputs and output: every acquired host array is held by an object
// that gives it back when it goes out of scope, on every path.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/topo_store.h"
#include "xsi_icenodecontext.h"

namespace tsl {

// Structure code of an input port: 1 single value, 2 array (other values pass through).
XSI::ULONG portStructure(XSI::ICENodeContext& ctx, XSI::ULONG port);

// Sub-array 0 of an array input, copied; element 0 stands for every element of a sub-array the
// host marks constant. Empty when the port has no sub-array or delivers no data.
std::vector<Float3> readVector3Array(XSI::ICENodeContext& ctx, XSI::ULONG port);
std::vector<std::int32_t> readLongArray(XSI::ICENodeContext& ctx, XSI::ULONG port);
std::vector<float> readFloatArray(XSI::ICENodeContext& ctx, XSI::ULONG port);
std::vector<std::uint8_t> readBoolArray(XSI::ICENodeContext& ctx, XSI::ULONG port);

// Element 0 of a single-value input; nothing when the value carries no data.
std::optional<std::int32_t> readLongSingle(XSI::ICENodeContext& ctx, XSI::ULONG port);
std::optional<float> readFloatSingle(XSI::ICENodeContext& ctx, XSI::ULONG port);
std::optional<bool> readBoolSingle(XSI::ICENodeContext& ctx, XSI::ULONG port);

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
