// SDK face: the evaluation context. Every call checks its arguments against the node definition
// and the arrays acquired so far; a misuse returns an error status (with null data) and is
// recorded in the session, never dereferenced.
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "detail.h"
#include "xsi_icenodecontext.h"

namespace host::detail {

std::size_t elementSize(std::uint32_t dataType) {
  switch (dataType) {
    case XSI::siICENodeDataBool:
      return 1;
    case XSI::siICENodeDataLong:
      return 4;
    case XSI::siICENodeDataFloat:
      return 4;
    case XSI::siICENodeDataVector3:
      return 12;
    default:
      return 0;
  }
}

namespace {

bool numeric(const XSI::CValue& v, double& out) {
  switch (v.GetType()) {
    case XSI::CValue::siInt4:
      out = v.GetInt();
      return true;
    case XSI::CValue::siFloat:
    case XSI::CValue::siDouble:
      out = v.GetDouble();
      return true;
    case XSI::CValue::siBool:
      out = v.GetBool() ? 1.0 : 0.0;
      return true;
    default:
      return false;
  }
}

std::int32_t toInt32(double d) {
  if (std::isnan(d)) return 0;
  if (d <= std::numeric_limits<std::int32_t>::min())
    return std::numeric_limits<std::int32_t>::min();
  if (d >= std::numeric_limits<std::int32_t>::max())
    return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(d);
}

template <class T>
void putBytes(SubArray& sub, const T& value) {
  sub.bytes.resize(sizeof(T));
  std::memcpy(sub.bytes.data(), &value, sizeof(T));
  sub.count = 1;
}

}  // namespace

std::shared_ptr<const InputData> defaultInput(const InputPortDef& port) {
  auto data = std::make_shared<InputData>();
  data->dataType = port.dataType;
  data->structure = XSI::siICENodeStructureSingle;
  SubArray sub;
  const XSI::CValue& v = port.defaultValue;
  double d = 0.0;
  switch (port.dataType) {
    case XSI::siICENodeDataVector3:
      if (v.GetType() == XSI::CValue::siVector3f) {
        const float xyz[3] = {v.GetVector3f().GetX(), v.GetVector3f().GetY(),
                              v.GetVector3f().GetZ()};
        putBytes(sub, xyz);
      }
      break;
    case XSI::siICENodeDataLong:
      if (numeric(v, d)) putBytes(sub, toInt32(d));
      break;
    case XSI::siICENodeDataFloat:
      if (numeric(v, d)) putBytes(sub, static_cast<float>(d));
      break;
    case XSI::siICENodeDataBool:
      if (numeric(v, d)) putBytes(sub, static_cast<std::uint8_t>(d != 0.0 ? 1 : 0));
      break;
    default:
      break;
  }
  data->subArrays.push_back(std::move(sub));
  return data;
}

}  // namespace host::detail

namespace XSI {
namespace {

using host::detail::ArrayRecord;
using host::detail::EvalState;
using host::detail::reportSdkError;

// Larger outputs than these are refused instead of allocated: no plug-in needs them, and a
// garbage size must not take the process's memory.
constexpr ULONG kMaxCustomBytes = 256u << 20;
constexpr ULONG kMaxStrings = 1u << 24;

std::string typeName(std::uint32_t t) {
  switch (t) {
    case siICENodeDataBool:
      return "bool (1)";
    case siICENodeDataLong:
      return "long (2)";
    case siICENodeDataFloat:
      return "float (4)";
    case siICENodeDataVector3:
      return "3-vector (16)";
    case siICENodeDataCustomType:
      return "custom type (65536)";
    case siICENodeDataString:
      return "string (131072)";
    default:
      return "type " + std::to_string(t);
  }
}

const char* kindName(ArrayRecord::Kind k) {
  switch (k) {
    case ArrayRecord::Kind::InputFlat:
      return "an input array from AcquireInputDataArray";
    case ArrayRecord::Kind::Input2D:
      return "an input array from AcquireInputDataArray2D";
    case ArrayRecord::Kind::OutputFlat:
      return "an output array from AcquireOutputDataArray";
    case ArrayRecord::Kind::Output2D:
      return "an output array from AcquireOutputDataArray2D";
  }
  return "an array";
}

// Runs the body of an SDK call; allocation failures become a status, nothing propagates.
template <class R, class F>
R guarded(const char* call, R onFailure, F&& body) {
  try {
    return body();
  } catch (const std::exception& e) {
    try {
      reportSdkError(std::string("ICENodeContext::") + call + ": " + e.what());
    } catch (...) {
    }
  } catch (...) {
  }
  return onFailure;
}

CStatus fail(const char* call, const std::string& why,
             CStatus::Code code = CStatus::InvalidArgument) {
  reportSdkError(std::string("ICENodeContext::") + call + ": " + why);
  return code;
}

ArrayRecord* lookup(EvalState* state, const CDataArrayRef& array, ArrayRecord::Kind kind,
                    const char* call) {
  if (!state) {
    fail(call, "the context is not attached to an evaluation");
    return nullptr;
  }
  auto it = state->arrays.find(reinterpret_cast<std::uintptr_t>(array.handle));
  if (it == state->arrays.end()) {
    fail(call, array.handle ? "the array is not acquired (released already, or never acquired)"
                            : "the array is null");
    return nullptr;
  }
  if (it->second.kind != kind) {
    fail(call, std::string("the array is ") + kindName(it->second.kind));
    return nullptr;
  }
  return &it->second;
}

std::shared_ptr<const host::detail::InputData> inputFor(EvalState* state,
                                                        const host::InputPortDef& port) {
  if (auto it = state->connections.find(port.id); it != state->connections.end()) return it->second;
  auto& cached = state->defaults[port.id];
  if (!cached) cached = host::detail::defaultInput(port);
  return cached;
}

CStatus acquireInput(EvalState* state, CDataArrayRef& array, siICENodeDataType dataType,
                     ULONG portId, ULONG instance, ArrayRecord::Kind kind, const char* call) {
  array.handle = nullptr;
  if (!state) return fail(call, "the context is not attached to an evaluation");
  const host::InputPortDef* port = state->node->findInput(portId);
  if (!port) return fail(call, "no input port " + std::to_string(portId));
  if (instance != 0)
    return fail(call,
                "port " + std::to_string(portId) + " has no instance " + std::to_string(instance));
  if (dataType != port->dataType)
    return fail(call, "port " + std::to_string(portId) + " is " + typeName(port->dataType) +
                          ", requested " + typeName(dataType));
  if (host::detail::elementSize(dataType) == 0)
    return fail(call, "the stand-in delivers no inputs of " + typeName(dataType));
  ArrayRecord rec;
  rec.kind = kind;
  rec.dataType = dataType;
  rec.port = portId;
  rec.input = inputFor(state, *port);
  const std::uintptr_t handle = state->nextHandle++;
  state->arrays.emplace(handle, std::move(rec));
  array.handle = reinterpret_cast<void*>(handle);
  return CStatus::OK;
}

CStatus acquireOutput(EvalState* state, CDataArrayRef& array, siICENodeDataType dataType,
                      ArrayRecord::Kind kind, ULONG supportedType, const char* call) {
  array.handle = nullptr;
  if (!state) return fail(call, "the context is not attached to an evaluation");
  if (!state->canWriteOutput) return fail(call, "outputs are written only during evaluate");
  const host::OutputPortDef* port = state->node->findOutput(state->evaluatedPort);
  if (!port)
    return fail(call, "the evaluated port " + std::to_string(state->evaluatedPort) +
                          " is not an output port of the node");
  if (dataType != port->dataType)
    return fail(call, "output port " + std::to_string(port->id) + " is " +
                          typeName(port->dataType) + ", requested " + typeName(dataType));
  if (dataType != supportedType)
    return fail(call, "the stand-in does not write outputs of " + typeName(dataType) +
                          " through this call");
  ArrayRecord rec;
  rec.kind = kind;
  rec.dataType = dataType;
  rec.port = port->id;
  rec.output = &(*state->outputs)[port->id];
  if (kind == ArrayRecord::Kind::Output2D && !rec.output->strings.acquired) {
    // A singleton-context array output has one sub-array, initially without elements.
    rec.output->strings.subArrays.assign(1, {});
    rec.output->strings.acquired = true;
  }
  const std::uintptr_t handle = state->nextHandle++;
  state->arrays.emplace(handle, std::move(rec));
  array.handle = reinterpret_cast<void*>(handle);
  return CStatus::OK;
}

}  // namespace

ULONG ICENodeContext::GetEvaluatedOutputPortID() const {
  return state_ ? state_->evaluatedPort : 0;
}

CStatus ICENodeContext::GetPortInfo(ULONG portId, siICENodeDataType& dataType,
                                    siICENodeStructureType& structureType,
                                    siICENodeContextType& contextType) const {
  return guarded("GetPortInfo", CStatus(CStatus::Fail), [&]() -> CStatus {
    if (!state_) return fail("GetPortInfo", "the context is not attached to an evaluation");
    if (const auto* in = state_->node->findInput(portId)) {
      dataType = static_cast<siICENodeDataType>(in->dataType);
      auto it = state_->connections.find(portId);
      structureType = static_cast<siICENodeStructureType>(
          it != state_->connections.end() ? it->second->structure : siICENodeStructureSingle);
      contextType = static_cast<siICENodeContextType>(in->contextType);
      return CStatus::OK;
    }
    if (const auto* out = state_->node->findOutput(portId)) {
      dataType = static_cast<siICENodeDataType>(out->dataType);
      structureType = static_cast<siICENodeStructureType>(out->structureType);
      contextType = static_cast<siICENodeContextType>(out->contextType);
      return CStatus::OK;
    }
    return fail("GetPortInfo", "no port " + std::to_string(portId));
  });
}

CStatus ICENodeContext::AcquireInputDataArray(CDataArrayRef& array, siICENodeDataType dataType,
                                              ULONG portId, ULONG instance) {
  array.handle = nullptr;
  return guarded("AcquireInputDataArray", CStatus(CStatus::Fail), [&] {
    return acquireInput(state_, array, dataType, portId, instance, ArrayRecord::Kind::InputFlat,
                        "AcquireInputDataArray");
  });
}

CStatus ICENodeContext::AcquireInputDataArray2D(CDataArrayRef& array, siICENodeDataType dataType,
                                                ULONG portId, ULONG instance) {
  array.handle = nullptr;
  return guarded("AcquireInputDataArray2D", CStatus(CStatus::Fail), [&] {
    return acquireInput(state_, array, dataType, portId, instance, ArrayRecord::Kind::Input2D,
                        "AcquireInputDataArray2D");
  });
}

CStatus ICENodeContext::GetData(const CDataArrayRef& array, const void*& data, ULONG& count) const {
  data = nullptr;
  count = 0;
  return guarded("GetData", CStatus(CStatus::Fail), [&]() -> CStatus {
    const ArrayRecord* rec = lookup(state_, array, ArrayRecord::Kind::InputFlat, "GetData");
    if (!rec) return CStatus::InvalidArgument;
    if (rec->input->subArrays.empty()) return CStatus::OK;
    const auto& sub = rec->input->subArrays.front();
    if (sub.bytes.empty()) return CStatus::OK;
    data = sub.bytes.data();
    // A constant sub-array stores one element; flat access gives what is stored.
    count = sub.constant ? 1 : sub.count;
    return CStatus::OK;
  });
}

ULONG ICENodeContext::GetSubArrayCount(const CDataArrayRef& array) const {
  return guarded("GetSubArrayCount", ULONG(0), [&]() -> ULONG {
    if (!state_) {
      fail("GetSubArrayCount", "the context is not attached to an evaluation");
      return 0;
    }
    auto it = state_->arrays.find(reinterpret_cast<std::uintptr_t>(array.handle));
    if (it == state_->arrays.end()) {
      fail("GetSubArrayCount", "the array is not acquired");
      return 0;
    }
    switch (it->second.kind) {
      case ArrayRecord::Kind::Input2D:
        return static_cast<ULONG>(it->second.input->subArrays.size());
      case ArrayRecord::Kind::Output2D:
        return static_cast<ULONG>(it->second.output->strings.subArrays.size());
      default:
        fail("GetSubArrayCount", std::string("the array is ") + kindName(it->second.kind));
        return 0;
    }
  });
}

CStatus ICENodeContext::GetSubArray(const CDataArrayRef& array, ULONG subArray, const void*& data,
                                    ULONG& count, bool& isConstant) const {
  data = nullptr;
  count = 0;
  isConstant = false;
  return guarded("GetSubArray", CStatus(CStatus::Fail), [&]() -> CStatus {
    const ArrayRecord* rec = lookup(state_, array, ArrayRecord::Kind::Input2D, "GetSubArray");
    if (!rec) return CStatus::InvalidArgument;
    const auto& subs = rec->input->subArrays;
    if (subArray >= subs.size())
      return fail("GetSubArray",
                  "sub-array " + std::to_string(subArray) + " of " + std::to_string(subs.size()));
    const auto& sub = subs[subArray];
    data = sub.bytes.empty() ? nullptr : sub.bytes.data();
    count = sub.count;
    isConstant = sub.constant;
    return CStatus::OK;
  });
}

CStatus ICENodeContext::AcquireOutputDataArray(CDataArrayRef& array, siICENodeDataType dataType) {
  array.handle = nullptr;
  return guarded("AcquireOutputDataArray", CStatus(CStatus::Fail), [&] {
    return acquireOutput(state_, array, dataType, ArrayRecord::Kind::OutputFlat,
                         siICENodeDataCustomType, "AcquireOutputDataArray");
  });
}

CStatus ICENodeContext::AcquireOutputDataArray2D(CDataArrayRef& array, siICENodeDataType dataType) {
  array.handle = nullptr;
  return guarded("AcquireOutputDataArray2D", CStatus(CStatus::Fail), [&] {
    return acquireOutput(state_, array, dataType, ArrayRecord::Kind::Output2D, siICENodeDataString,
                         "AcquireOutputDataArray2D");
  });
}

void* ICENodeContext::ResizeCustomTypeData(CDataArrayRef& array, ULONG index, ULONG size) {
  return guarded("ResizeCustomTypeData", static_cast<void*>(nullptr), [&]() -> void* {
    ArrayRecord* rec = lookup(state_, array, ArrayRecord::Kind::OutputFlat, "ResizeCustomTypeData");
    if (!rec) return nullptr;
    if (index != 0) {
      fail("ResizeCustomTypeData",
           "a singleton output has only element 0, not " + std::to_string(index));
      return nullptr;
    }
    if (size > kMaxCustomBytes) {
      fail("ResizeCustomTypeData", std::to_string(size) + " bytes is over the stand-in's limit");
      return nullptr;
    }
    auto& out = rec->output->custom;
    out.bytes.assign(size, 0);
    out.state = size ? host::OutputState::Data : host::OutputState::Empty;
    return size ? out.bytes.data() : nullptr;
  });
}

CStatus ICENodeContext::SetCustomTypeData(CDataArrayRef& array, ULONG index, const void* data,
                                          ULONG size) {
  return guarded("SetCustomTypeData", CStatus(CStatus::Fail), [&]() -> CStatus {
    ArrayRecord* rec = lookup(state_, array, ArrayRecord::Kind::OutputFlat, "SetCustomTypeData");
    if (!rec) return CStatus::InvalidArgument;
    if (index != 0)
      return fail("SetCustomTypeData",
                  "a singleton output has only element 0, not " + std::to_string(index));
    if (!data && size != 0)
      return fail("SetCustomTypeData", "null data with size " + std::to_string(size));
    if (size > kMaxCustomBytes)
      return fail("SetCustomTypeData",
                  std::to_string(size) + " bytes is over the stand-in's limit");
    // Copy first: data may point into the element's current storage.
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::vector<std::uint8_t> copy(bytes, bytes + size);
    auto& out = rec->output->custom;
    out.bytes = std::move(copy);
    out.state = size ? host::OutputState::Data : host::OutputState::Empty;
    return CStatus::OK;
  });
}

CStatus ICENodeContext::ResizeSubArray(CDataArrayRef& array, ULONG subArray, ULONG size) {
  return guarded("ResizeSubArray", CStatus(CStatus::Fail), [&]() -> CStatus {
    ArrayRecord* rec = lookup(state_, array, ArrayRecord::Kind::Output2D, "ResizeSubArray");
    if (!rec) return CStatus::InvalidArgument;
    auto& subs = rec->output->strings.subArrays;
    if (subArray >= subs.size())
      return fail("ResizeSubArray",
                  "sub-array " + std::to_string(subArray) + " of " + std::to_string(subs.size()));
    if (size > kMaxStrings)
      return fail("ResizeSubArray",
                  std::to_string(size) + " elements is over the stand-in's limit");
    subs[subArray].resize(size);
    return CStatus::OK;
  });
}

CStatus ICENodeContext::SetStringData2D(CDataArrayRef& array, ULONG subArray, ULONG index,
                                        const wchar_t* text, ULONG length) {
  return guarded("SetStringData2D", CStatus(CStatus::Fail), [&]() -> CStatus {
    ArrayRecord* rec = lookup(state_, array, ArrayRecord::Kind::Output2D, "SetStringData2D");
    if (!rec) return CStatus::InvalidArgument;
    auto& subs = rec->output->strings.subArrays;
    if (subArray >= subs.size())
      return fail("SetStringData2D",
                  "sub-array " + std::to_string(subArray) + " of " + std::to_string(subs.size()));
    if (index >= subs[subArray].size())
      return fail("SetStringData2D", "element " + std::to_string(index) + " of " +
                                         std::to_string(subs[subArray].size()) +
                                         " (ResizeSubArray first)");
    if (!text && length != 0)
      return fail("SetStringData2D", "null text with length " + std::to_string(length));
    subs[subArray][index] = text ? std::wstring(text, length) : std::wstring();
    return CStatus::OK;
  });
}

CStatus ICENodeContext::ReleaseDataArray(CDataArrayRef& array) {
  return guarded("ReleaseDataArray", CStatus(CStatus::Fail), [&]() -> CStatus {
    if (!state_) return fail("ReleaseDataArray", "the context is not attached to an evaluation");
    auto it = state_->arrays.find(reinterpret_cast<std::uintptr_t>(array.handle));
    if (it == state_->arrays.end())
      return fail("ReleaseDataArray", array.handle ? "the array is not acquired (released twice?)"
                                                   : "the array is null");
    state_->arrays.erase(it);
    array.handle = nullptr;
    return CStatus::OK;
  });
}

}  // namespace XSI
