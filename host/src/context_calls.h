// What the evaluation context's calls share: how a misuse is reported, how an array handle is
// looked up. Private to the xsi_icenodecontext*.cpp files (and, as all of tsl_xsi that is not
// TSL_XSI_API, hidden from plug-ins).
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "detail.h"
#include "xsi_icenodecontext.h"

namespace XSI {

using host::detail::ArrayRecord;
using host::detail::EvalState;

// How messages name a data type: "long (2)".
std::string typeName(std::uint32_t dataType);

// How messages name an array of a kind: "an input array from AcquireInputDataArray".
const char* kindName(ArrayRecord::Kind kind);

// Records the misuse of ICENodeContext::call in the session and returns code.
CStatus fail(const char* call, const std::string& why,
             CStatus::Code code = CStatus::InvalidArgument);

// The record of array when it is acquired and of kind; null, the misuse reported, otherwise
// (also without an evaluation).
ArrayRecord* lookup(EvalState* state, const CDataArrayRef& array, ArrayRecord::Kind kind,
                    const char* call);

// Acquires rec: keeps it under a new handle (a number, never an address) and gives array that
// handle.
CStatus addArray(EvalState* state, CDataArrayRef& array, ArrayRecord rec);

// True when subArray is one of count sub-arrays; false, the misuse reported, otherwise.
bool hasSubArray(std::size_t count, ULONG subArray, const char* call);

// Runs the body of an SDK call; allocation failures become a status, nothing propagates.
template <class R, class F>
R guarded(const char* call, R onFailure, F&& body) {
  try {
    return body();
  } catch (const std::exception& e) {
    try {
      host::detail::reportSdkError(std::string("ICENodeContext::") + call + ": " + e.what());
    } catch (...) {
    }
  } catch (...) {
  }
  return onFailure;
}

}  // namespace XSI
