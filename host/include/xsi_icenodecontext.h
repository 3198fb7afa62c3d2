// Host SDK stand-in: the evaluation context handed to ICE node callbacks.
#pragma once

#include "xsi_core.h"

namespace host::detail {
struct EvalState;
}

namespace XSI {

// A data array acquired from (or for) the context; valid until ReleaseDataArray.
struct CDataArrayRef {
  void* handle = nullptr;
};

class XSI_API ICENodeContext {
 public:
  explicit ICENodeContext(host::detail::EvalState* state) : state_(state) {}

  ULONG GetEvaluatedOutputPortID() const;
  // Declared data type, connected structure (1 single value, 2 array) and context of an input.
  CStatus GetPortInfo(ULONG portId, siICENodeDataType& dataType,
                      siICENodeStructureType& structureType,
                      siICENodeContextType& contextType) const;

  // Single value (or flat) access to an input: data points to count elements of the requested
  // type, or is null with count 0 when the value carries no data.
  CStatus AcquireInputDataArray(CDataArrayRef& array, siICENodeDataType dataType, ULONG portId,
                                ULONG instance);
  // 2D access to an input: sub-arrays of elements of the requested type.
  CStatus AcquireInputDataArray2D(CDataArrayRef& array, siICENodeDataType dataType, ULONG portId,
                                  ULONG instance);
  // Elements of a value acquired with AcquireInputDataArray.
  CStatus GetData(const CDataArrayRef& array, const void*& data, ULONG& count) const;
  ULONG GetSubArrayCount(const CDataArrayRef& array) const;
  // Elements of one sub-array. When isConstant is set, only element 0 is stored and it stands
  // for every one of the count elements.
  CStatus GetSubArray(const CDataArrayRef& array, ULONG subArray, const void*& data, ULONG& count,
                      bool& isConstant) const;

  CStatus AcquireOutputDataArray(CDataArrayRef& array, siICENodeDataType dataType);
  CStatus AcquireOutputDataArray2D(CDataArrayRef& array, siICENodeDataType dataType);
  // Gives element index of a custom-type output size bytes of writable storage (null on failure).
  void* ResizeCustomTypeData(CDataArrayRef& array, ULONG index, ULONG size);
  // Replaces the data of element index of a custom-type output (data may be null with size 0).
  CStatus SetCustomTypeData(CDataArrayRef& array, ULONG index, const void* data, ULONG size);
  CStatus ResizeSubArray(CDataArrayRef& array, ULONG subArray, ULONG size);
  CStatus SetStringData2D(CDataArrayRef& array, ULONG subArray, ULONG index, const wchar_t* text,
                          ULONG length);
  CStatus ReleaseDataArray(CDataArrayRef& array);

 private:
  host::detail::EvalState* state_;
};

}  // namespace XSI
