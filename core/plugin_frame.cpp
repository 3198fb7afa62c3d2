#include "core/plugin_frame.h"

#include <exception>
#include <new>
#include <string>

#include "core/log.h"
#include "core/port_access.h"
#include "core/topo_store.h"
#include "geom/error.h"

namespace tsl {
namespace {

void assertOk(const XSI::CStatus& st) {
  st.AssertSucceeded(XSI::CString());
}

// One line for whatever escaped; never throws itself.
void logEscaped(const char* prefix, std::exception_ptr e) noexcept {
  try {
    std::string what;
    try {
      std::rethrow_exception(e);
    } catch (const geom::Error& err) {
      what = err.what();
    } catch (const std::bad_alloc&) {
      what = "out of memory";
    } catch (const std::exception& err) {
      what = std::string("internal error: ") + err.what();
    } catch (...) {
      what = "internal error";
    }
    hostLogger()(Severity::Error, std::string(prefix) + what);
  } catch (...) {
  }
}

}  // namespace

Logger hostLogger() {
  return [](Severity s, const std::string& text) {
    XSI::Application().LogMessage(XSI::CString(text), static_cast<XSI::siSeverityType>(s));
  };
}

XSI::CStatus loadPlugin(XSI::PluginRegistrar& reg, const NodeSpec& node) {
  reg.PutAuthor("Ondrel");
  reg.PutName(node.pluginName);
  reg.PutVersion(1, 0);

  XSI::ICENodeDef def =
      XSI::Application().GetFactory().CreateICENodeDef(node.nodeName, node.displayName);
  assertOk(def.DefineCustomType(kCustomType, kCustomType, "VastaTopo data for one-pass calculation",
                                128, 255, 5));
  assertOk(def.PutColor(140, 109, 195));
  assertOk(def.PutThreadingModel(XSI::siICENodeMultiThreading));
  assertOk(def.AddPortGroup(kPortGroup, 1, 1, XSI::CString()));
  for (const InputPortSpec& p : node.inputs) {
    assertOk(def.AddInputPort(p.id, kPortGroup, p.dataType, XSI::siICENodeStructureAny,
                              XSI::siICENodeContextSingleton, p.name, p.scriptName, p.defaultValue,
                              p.minValue, p.maxValue, kNoConstraint, kNoConstraint,
                              kSingletonConstraint));
  }
  for (const OutputPortSpec& p : node.outputs) {
    if (p.dataType == 0) {
      XSI::CStringArray types;
      types.Add(kCustomType);
      assertOk(def.AddOutputPort(p.id, types, p.structure, XSI::siICENodeContextSingleton, p.name,
                                 p.scriptName, kNoConstraint, kNoConstraint, kSingletonConstraint));
    } else {
      assertOk(def.AddOutputPort(p.id, p.dataType, p.structure, XSI::siICENodeContextSingleton,
                                 p.name, p.scriptName, kNoConstraint, kNoConstraint,
                                 kSingletonConstraint));
    }
  }
  XSI::PluginItem item = reg.RegisterICENode(def);
  item.PutCategories("Tessellon");
  return XSI::CStatus::OK;
}

XSI::CStatus unloadPlugin(const XSI::PluginRegistrar& reg) {
  try {
    const XSI::CString name = reg.GetName();
    XSI::Application().LogMessage(name + XSI::CString(" has been unloaded."), XSI::siVerboseMsg);
  } catch (...) {
  }
  return XSI::CStatus::OK;
}

XSI::CStatus guardedCallback(const char* prefix, const std::function<void()>& body) noexcept {
  try {
    body();
  } catch (...) {
    logEscaped(prefix, std::current_exception());
  }
  return XSI::CStatus::OK;
}

XSI::CStatus guardedEvaluate(XSI::ICENodeContext& ctx, XSI::ULONG outputPort, const char* prefix,
                             const std::function<void(XSI::CDataArrayRef&)>& body) noexcept {
  try {
    if (ctx.GetEvaluatedOutputPortID() != outputPort) return XSI::CStatus::OK;
    OutputArray output(ctx);
    try {
      body(output.ref());
    } catch (...) {
      logEscaped(prefix, std::current_exception());
      publishEmpty(ctx, output.ref());
    }
  } catch (...) {
    logEscaped(prefix, std::current_exception());
  }
  return XSI::CStatus::OK;
}

}  // namespace tsl
