// What every plug-in shares: identity and node registration with the common settings, the
// unload line, and the guard that keeps every callback returning success to the host.
#pragma once

#include <functional>
#include <vector>

#include "xsi_core.h"
#include "xsi_icenodecontext.h"
#include "xsi_registration.h"

namespace tsl {

inline constexpr XSI::ULONG kPortGroup = 100;
inline constexpr XSI::ULONG kNoConstraint = 4294967295u;
inline constexpr XSI::ULONG kSingletonConstraint = 402;
inline constexpr const char* kCustomType = "VastaTopo";

struct InputPortSpec {
  XSI::ULONG id;
  XSI::ULONG dataType;
  const char* name;
  const char* scriptName;
  XSI::CValue defaultValue;
  XSI::CValue minValue = XSI::CValue();
  XSI::CValue maxValue = XSI::CValue();
};

// An output carries the custom type unless dataType is given (the About string port).
struct OutputPortSpec {
  XSI::ULONG id;
  XSI::ULONG dataType = 0;
  XSI::ULONG structure = XSI::siICENodeStructureSingle;
  const char* name = "Out Vtopo";
  const char* scriptName = "Out_Vtopo";
};

struct NodeSpec {
  const char* pluginName;
  const char* nodeName;
  const char* displayName;
  std::vector<InputPortSpec> inputs;
  std::vector<OutputPortSpec> outputs;
};

// Sets author "Ondrel", the plug-in name and version 1.0, then defines the node with the
// custom type, colours, threading model, port group, the ports in the order given and the
// category "Tessellon". Every definition step's status is asserted. Returns success.
XSI::CStatus loadPlugin(XSI::PluginRegistrar& registrar, const NodeSpec& node);

// Logs the plug-in's name followed by " has been unloaded." at verbose severity.
XSI::CStatus unloadPlugin(const XSI::PluginRegistrar& registrar);

// Runs body and returns success whatever happens: an escaping exception is logged as one
// error line prefixed with prefix. For init, term and begin-evaluate.
XSI::CStatus guardedCallback(const char* prefix, const std::function<void()>& body) noexcept;

// The evaluate frame for the custom output port outputPort: any other requested port returns
// at once. Otherwise the output array is acquired, body runs with it, and the array is
// released on every path; an exception escaping body is logged as one error line and the
// empty output is published. Always returns success.
XSI::CStatus guardedEvaluate(XSI::ICENodeContext& ctx, XSI::ULONG outputPort, const char* prefix,
                             const std::function<void(XSI::CDataArrayRef& output)>& body) noexcept;

}  // namespace tsl
