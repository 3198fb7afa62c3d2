// What every plug-in shares: identity and node registration with the common settings, the
// exported callbacks, the unload line, and the guard that keeps every callback returning
// success to the host. A plug-in gives its node table and its evaluate binding in a NodeBinding
// and writes TSL_PLUGIN_CALLBACKS (plus TSL_PLUGIN_INIT / TSL_PLUGIN_TERM where the node has
// them) once in its plugin.cpp.
#pragma once

#include <span>
#include <string>

#include "core/outcome.h"
#include "core/port_access.h"
#include "core/port_table.h"
#include "core/topo_store.h"
#include "xsi_core.h"
#include "xsi_icenodecontext.h"
#include "xsi_registration.h"

namespace tsl {

inline constexpr XSI::ULONG kPortGroup = 100;
inline constexpr XSI::ULONG kNoConstraint = 4294967295u;
inline constexpr XSI::ULONG kSingletonConstraint = 402;
inline constexpr const char* kCustomType = "VastaTopo";

// An output carries the custom type unless dataType is given (the About string port).
struct OutputPortSpec {
  XSI::ULONG id;
  XSI::ULONG dataType = 0;
  XSI::ULONG structure = XSI::siICENodeStructureSingle;
  const char* name = "Out Vtopo";
  const char* scriptName = "Out_Vtopo";
};

// One plug-in's node as the frame drives it.
struct NodeBinding {
  const char* pluginName;
  const char* nodeName;
  const char* displayName;
  // The inputs in registration order, then the outputs.
  std::span<const InputPort> inputs;
  std::span<const OutputPortSpec> outputs;
  // Starts every line the frame logs for the node ("TSL CONT: ").
  const char* prefix;
  // The custom-type output that evaluate fills.
  XSI::ULONG outputPort;
  // Reads the inputs and runs the node's logic into store. May throw: the frame logs one line
  // and publishes the empty output.
  Outcome (*evaluate)(Ports& ports, TopoStore& store);
  // Another output port (the Boolean's About text) and how it is written; none when 0 / null.
  XSI::ULONG otherPort = 0;
  void (*evaluateOther)(XSI::ICENodeContext& ctx) = nullptr;
};

// The line logged when memory runs out anywhere in an evaluation: "<prefix>Out of memory,
// break" (for the Boolean node exactly its historical text).
std::string outOfMemoryLine(const char* prefix);

// Sets author "Ondrel", the plug-in name and version 1.0, then defines the node with the
// custom type, colours, threading model, port group, the ports in the order given and the
// category "Tessellon". Every definition step's status is asserted. Returns success, also when
// something threw (logged as one error line).
XSI::CStatus loadPlugin(XSI::PluginRegistrar& registrar, const NodeBinding& node) noexcept;

// Logs the plug-in's name followed by " has been unloaded." at verbose severity.
XSI::CStatus unloadPlugin(const XSI::PluginRegistrar& registrar) noexcept;

// Init, term and begin-evaluate: empties the module store. Returns success.
XSI::CStatus clearCallback(const NodeBinding& node) noexcept;

// The evaluate callback. Any port other than the node's output (or its other port) returns at
// once. Otherwise the output array is acquired, the binding runs, the store's record or the
// empty output is published as its outcome says, and the array is released on every path.
// Whatever escapes the binding is logged as one error line (memory exhaustion as
// outOfMemoryLine), the store is emptied and the empty output published. Returns success.
XSI::CStatus evaluateCallback(XSI::ICENodeContext& ctx, const NodeBinding& node) noexcept;

}  // namespace tsl

// The exported entry points of a plug-in whose node is NODE (an identifier: TSL_Voronoi) and
// whose binding is the NodeBinding expression BINDING.
#define TSL_PLUGIN_CALLBACKS(NODE, BINDING)                                               \
  XSIPLUGINCALLBACK XSI::CStatus XSILoadPlugin(XSI::PluginRegistrar& registrar) {         \
    return tsl::loadPlugin(registrar, BINDING);                                           \
  }                                                                                       \
  XSIPLUGINCALLBACK XSI::CStatus XSIUnloadPlugin(const XSI::PluginRegistrar& registrar) { \
    return tsl::unloadPlugin(registrar);                                                  \
  }                                                                                       \
  XSIPLUGINCALLBACK XSI::CStatus NODE##_BeginEvaluate(XSI::ICENodeContext&) {             \
    return tsl::clearCallback(BINDING);                                                   \
  }                                                                                       \
  XSIPLUGINCALLBACK XSI::CStatus NODE##_Evaluate(XSI::ICENodeContext& ctx) {              \
    return tsl::evaluateCallback(ctx, BINDING);                                           \
  }

// <NODE>_Init: wraps the host's reference in a Context and empties the store.
#define TSL_PLUGIN_INIT(NODE, BINDING)                         \
  XSIPLUGINCALLBACK XSI::CStatus NODE##_Init(XSI::CRef& ref) { \
    XSI::Context context(ref);                                 \
    (void)context;                                             \
    return tsl::clearCallback(BINDING);                        \
  }

// <NODE>_Term: the node instance's end clears the store exactly as its start does, so it is
// the same function exported a second time. Requires TSL_PLUGIN_INIT(NODE, ...) before it.
#define TSL_PLUGIN_TERM(NODE)                                                                  \
  XSIPLUGINCALLBACK XSI::CStatus NODE##_Term(XSI::CRef& ref) __attribute__((alias(#NODE "_Ini" \
                                                                                        "t")));
