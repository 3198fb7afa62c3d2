// State shared by the SDK face (tsl_xsi) and the host face (tsl_host). Private to host/.
//
// Everything here lives in tsl_xsi, which the host process and every plug-in load once, so the
// session that the host face makes current is the one that a plug-in's Application::LogMessage
// or CStatus::AssertSucceeded reaches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/records.h"
#include "xsi_core.h"

#define TSL_XSI_API __attribute__((visibility("default")))

namespace host::detail {

struct NodeDefRecord {
  NodeDefinition def;
};

struct PluginRecord {
  std::string name, author;
  std::optional<std::pair<std::int32_t, std::int32_t>> version;
  std::vector<std::shared_ptr<NodeDefRecord>> nodes;  // registered, in order
};

// Where a plug-in's calls report to while the host face is calling into it.
struct Session {
  std::vector<LogLine> log;
  std::vector<FailedAssert> failedAsserts;
  // SDK calls that failed because the plug-in misused them (wrong type, stale handle, ...).
  std::vector<std::string> sdkErrors;
  // Set only while XSILoadPlugin runs: CreateICENodeDef needs an active registration.
  PluginRecord* registration = nullptr;
  // The progress bar as the plug-in set it, who hears of each change, who answers Cancel.
  ProgressReport progress;
  std::function<void(const ProgressReport&)> progressListener;
  std::function<bool()> cancelQuery;
};

// Makes session current on the calling thread and returns the one it replaces (null: none).
TSL_XSI_API Session* exchangeSession(Session* session);
TSL_XSI_API Session* currentSession();
// Records a misuse of an SDK call in the current session, or prints it when there is none.
TSL_XSI_API void reportSdkError(const std::string& message);

// Bytes per element of a data type as the evaluation context delivers it; 0 if not deliverable.
TSL_XSI_API std::size_t elementSize(std::uint32_t dataType);

struct SubArray {
  std::vector<std::byte> bytes;  // stored elements: count of them, or one when constant
  std::uint32_t count = 0;       // logical element count
  bool constant = false;
};

// What feeds one input port during a callback.
struct InputData {
  std::uint32_t dataType = 0;
  std::uint32_t structure = XSI::siICENodeStructureSingle;
  // A single value is one sub-array of one element, or of none when it carries no data.
  std::vector<SubArray> subArrays;
};

// The value an unconnected port delivers: its default as a single value of the port's type,
// or a single value with no data when the default is empty or of a kind that does not fit.
TSL_XSI_API std::shared_ptr<const InputData> defaultInput(const InputPortDef& port);

struct OutputData {
  CustomOutput custom;
  StringOutput strings;
};

struct ArrayRecord {
  enum class Kind { InputFlat, Input2D, OutputFlat, Output2D };
  Kind kind = Kind::InputFlat;
  std::uint32_t dataType = 0;
  std::uint32_t port = 0;
  std::shared_ptr<const InputData> input;  // input arrays
  OutputData* output = nullptr;            // output arrays
};

// One callback's view of the node: what ICENodeContext works on.
struct EvalState {
  const NodeDefinition* node = nullptr;
  std::map<std::uint32_t, std::shared_ptr<const InputData>> connections;
  std::map<std::uint32_t, OutputData>* outputs = nullptr;
  std::uint32_t evaluatedPort = 0;
  bool canWriteOutput = false;  // only evaluate may write the evaluated output port

  // Arrays acquired and not yet released, by handle. Handles are numbers, never addresses, so a
  // stale or made-up handle is detected instead of dereferenced.
  std::map<std::uintptr_t, ArrayRecord> arrays;
  std::uintptr_t nextHandle = 1;
  std::map<std::uint32_t, std::shared_ptr<const InputData>> defaults;
};

}  // namespace host::detail
