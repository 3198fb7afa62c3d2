// What the host records about a plug-in: its registration, as plain values with one field per
// argument of the registration calls (so tests and the command-line tool compare them literally),
// and what its callbacks wrote: outputs, log lines, failed assertions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "xsi_core.h"

namespace host {

struct Rgb {
  std::uint32_t red = 0, green = 0, blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// One ICENodeDef::DefineCustomType call.
struct CustomTypeDef {
  std::string name, scriptName, description;
  Rgb color;
  friend bool operator==(const CustomTypeDef&, const CustomTypeDef&) = default;
};

// One ICENodeDef::AddPortGroup call.
struct PortGroupDef {
  std::uint32_t id = 0, minInstances = 0, maxInstances = 0;
  std::string scriptName;
  friend bool operator==(const PortGroupDef&, const PortGroupDef&) = default;
};

// One ICENodeDef::AddInputPort call, all thirteen arguments in call order.
struct InputPortDef {
  std::uint32_t id = 0, groupId = 0, dataType = 0, structureType = 0, contextType = 0;
  std::string name, scriptName;
  XSI::CValue defaultValue, minValue, maxValue;
  std::uint32_t typeConstraintId = 0, structureConstraintId = 0, contextConstraintId = 0;
};

// One ICENodeDef::AddOutputPort call. For the overload taking a custom type list, dataType is
// siICENodeDataCustomType and customTypes holds the list; otherwise customTypes is empty.
struct OutputPortDef {
  std::uint32_t id = 0, dataType = 0;
  std::vector<std::string> customTypes;
  std::uint32_t structureType = 0, contextType = 0;
  std::string name, scriptName;
  std::uint32_t typeConstraintId = 0, structureConstraintId = 0, contextConstraintId = 0;
};

// Everything recorded for one node. Calls that may be repeated are kept as lists in call order;
// for colour and threading model the last call wins.
struct NodeDefinition {
  std::string name, displayName;
  std::vector<CustomTypeDef> customTypes;
  std::optional<Rgb> color;
  std::optional<std::uint32_t> threadingModel;
  std::vector<PortGroupDef> portGroups;
  std::vector<InputPortDef> inputs;
  std::vector<OutputPortDef> outputs;
  bool registered = false;              // passed to PluginRegistrar::RegisterICENode
  std::vector<std::string> categories;  // each PluginItem::PutCategories call

  const InputPortDef* findInput(std::uint32_t id) const {
    for (const auto& p : inputs)
      if (p.id == id) return &p;
    return nullptr;
  }
  const OutputPortDef* findOutput(std::uint32_t id) const {
    for (const auto& p : outputs)
      if (p.id == id) return &p;
    return nullptr;
  }
};

struct PluginDefinition {
  std::string name, author;
  std::optional<std::pair<std::int32_t, std::int32_t>> version;  // (major, minor)
  std::vector<NodeDefinition> nodes;  // registered nodes, in registration order
};

// A CStatus::AssertSucceeded call on a failed status.
struct FailedAssert {
  std::int32_t code = 0;
  std::string message;
};

struct LogLine {
  std::uint32_t severity = 0;  // XSI::siSeverityType
  std::string text;
  friend bool operator==(const LogLine&, const LogLine&) = default;
};

// What the plug-in's progress bar (XSI::ProgressBar) shows.
struct ProgressReport {
  std::string caption;
  std::int32_t value = 0;
  std::int32_t maximum = 100;
};

// Custom-type output of one port for the latest evaluate call of that port.
enum class OutputState {
  Unwritten,  // neither ResizeCustomTypeData nor SetCustomTypeData was called
  Empty,      // element 0 holds a zero-length value
  Data,       // element 0 holds bytes
};

struct CustomOutput {
  OutputState state = OutputState::Unwritten;
  std::vector<std::uint8_t> bytes;  // element 0; empty unless state is Data
};

// String output written through AcquireOutputDataArray2D.
struct StringOutput {
  bool acquired = false;  // the latest evaluate call of the port acquired it
  std::vector<std::vector<std::wstring>> subArrays;
};

}  // namespace host
