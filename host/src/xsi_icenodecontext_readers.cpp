// SDK face: the evaluation context's readers, of the node's ports and of the input arrays
// (connected data, or the port's default when nothing is connected).
#include <cmath>
#include <cstring>
#include <limits>

#include "context_calls.h"

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

std::shared_ptr<const host::detail::InputData> inputFor(EvalState* state,
                                                        const host::InputPortDef& port) {
  if (auto it = state->connections.find(port.id); it != state->connections.end()) return it->second;
  auto& cached = state->defaults[port.id];
  if (!cached) cached = host::detail::defaultInput(port);
  return cached;
}

// AcquireInputDataArray and its 2D form, which differ only in the kind of array they give.
CStatus acquireInput(EvalState* state, CDataArrayRef& array, siICENodeDataType dataType,
                     ULONG portId, ULONG instance, ArrayRecord::Kind kind, const char* call) {
  array.handle = nullptr;
  return guarded(call, CStatus(CStatus::Fail), [&]() -> CStatus {
    if (!state) return fail(call, "the context is not attached to an evaluation");
    const host::InputPortDef* port = state->node->findInput(portId);
    if (!port) return fail(call, "no input port " + std::to_string(portId));
    if (instance != 0)
      return fail(
          call, "port " + std::to_string(portId) + " has no instance " + std::to_string(instance));
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
    return addArray(state, array, std::move(rec));
  });
}

}  // namespace

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
  return acquireInput(state_, array, dataType, portId, instance, ArrayRecord::Kind::InputFlat,
                      "AcquireInputDataArray");
}

CStatus ICENodeContext::AcquireInputDataArray2D(CDataArrayRef& array, siICENodeDataType dataType,
                                                ULONG portId, ULONG instance) {
  return acquireInput(state_, array, dataType, portId, instance, ArrayRecord::Kind::Input2D,
                      "AcquireInputDataArray2D");
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
    if (!hasSubArray(subs.size(), subArray, "GetSubArray")) return CStatus::InvalidArgument;
    const auto& sub = subs[subArray];
    data = sub.bytes.empty() ? nullptr : sub.bytes.data();
    count = sub.count;
    isConstant = sub.constant;
    return CStatus::OK;
  });
}

}  // namespace XSI
