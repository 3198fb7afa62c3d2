// SDK face: the evaluation context. Every call checks its arguments against the node definition
// and the arrays acquired so far; a misuse returns an error status (with null data) and is
// recorded in the session, never dereferenced. The port and input readers are in
// xsi_icenodecontext_readers.cpp; here are what they share, the output writers and the release.
#include <new>

#include "context_calls.h"

namespace XSI {

std::string typeName(std::uint32_t dataType) {
  switch (dataType) {
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
      return "type " + std::to_string(dataType);
  }
}

const char* kindName(ArrayRecord::Kind kind) {
  switch (kind) {
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

CStatus fail(const char* call, const std::string& why, CStatus::Code code) {
  host::detail::reportSdkError(std::string("ICENodeContext::") + call + ": " + why);
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

CStatus addArray(EvalState* state, CDataArrayRef& array, ArrayRecord rec) {
  const std::uintptr_t handle = state->nextHandle++;
  state->arrays.emplace(handle, std::move(rec));
  array.handle = reinterpret_cast<void*>(handle);
  return CStatus::OK;
}

bool hasSubArray(std::size_t count, ULONG subArray, const char* call) {
  if (subArray < count) return true;
  fail(call, "sub-array " + std::to_string(subArray) + " of " + std::to_string(count));
  return false;
}

namespace {

// Larger outputs than these are refused instead of allocated: no plug-in needs them, and a
// garbage size must not take the process's memory.
constexpr ULONG kMaxCustomBytes = 256u << 20;
constexpr ULONG kMaxStrings = 1u << 24;

// AcquireOutputDataArray and its 2D form: the kind of array each gives, and the one data type
// the stand-in writes through it.
CStatus acquireOutput(EvalState* state, CDataArrayRef& array, siICENodeDataType dataType,
                      ArrayRecord::Kind kind, ULONG supportedType, const char* call) {
  array.handle = nullptr;
  return guarded(call, CStatus(CStatus::Fail), [&]() -> CStatus {
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
    return addArray(state, array, std::move(rec));
  });
}

// Sub-array subArray of an array from AcquireOutputDataArray2D, or null, the misuse reported.
std::vector<std::wstring>* outputStrings(EvalState* state, const CDataArrayRef& array,
                                         ULONG subArray, const char* call) {
  ArrayRecord* rec = lookup(state, array, ArrayRecord::Kind::Output2D, call);
  if (!rec) return nullptr;
  auto& subs = rec->output->strings.subArrays;
  if (!hasSubArray(subs.size(), subArray, call)) return nullptr;
  return &subs[subArray];
}

}  // namespace

ULONG ICENodeContext::GetEvaluatedOutputPortID() const {
  return state_ ? state_->evaluatedPort : 0;
}

CStatus ICENodeContext::AcquireOutputDataArray(CDataArrayRef& array, siICENodeDataType dataType) {
  return acquireOutput(state_, array, dataType, ArrayRecord::Kind::OutputFlat,
                       siICENodeDataCustomType, "AcquireOutputDataArray");
}

CStatus ICENodeContext::AcquireOutputDataArray2D(CDataArrayRef& array, siICENodeDataType dataType) {
  return acquireOutput(state_, array, dataType, ArrayRecord::Kind::Output2D, siICENodeDataString,
                       "AcquireOutputDataArray2D");
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
    auto* strings = outputStrings(state_, array, subArray, "ResizeSubArray");
    if (!strings) return CStatus::InvalidArgument;
    if (size > kMaxStrings)
      return fail("ResizeSubArray",
                  std::to_string(size) + " elements is over the stand-in's limit");
    strings->resize(size);
    return CStatus::OK;
  });
}

CStatus ICENodeContext::SetStringData2D(CDataArrayRef& array, ULONG subArray, ULONG index,
                                        const wchar_t* text, ULONG length) {
  return guarded("SetStringData2D", CStatus(CStatus::Fail), [&]() -> CStatus {
    auto* strings = outputStrings(state_, array, subArray, "SetStringData2D");
    if (!strings) return CStatus::InvalidArgument;
    if (index >= strings->size())
      return fail("SetStringData2D", "element " + std::to_string(index) + " of " +
                                         std::to_string(strings->size()) +
                                         " (ResizeSubArray first)");
    if (!text && length != 0)
      return fail("SetStringData2D", "null text with length " + std::to_string(length));
    (*strings)[index] = text ? std::wstring(text, length) : std::wstring();
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
