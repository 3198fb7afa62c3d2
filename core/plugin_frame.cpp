#include "core/plugin_frame.h"

#include <exception>
#include <new>
#include <string>

#include "core/log.h"
#include "core/topo_store.h"
#include "geom/error.h"

namespace tsl {
namespace {

void assertOk(const XSI::CStatus& st) {
  st.AssertSucceeded(XSI::CString());
}

// The one line for whatever escaped a callback.
std::string escapedLine(const char* prefix, std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::bad_alloc&) {
    return outOfMemoryLine(prefix);
  } catch (const geom::Error& err) {
    return std::string(prefix) + err.what();
  } catch (const std::exception& err) {
    return std::string(prefix) + "internal error: " + err.what();
  } catch (...) {
    return std::string(prefix) + "internal error";
  }
}

// Logs the line for e; never throws, since it runs where nothing may escape to the host.
void logEscaped(const char* prefix, std::exception_ptr e) noexcept {
  try {
    hostLogger()(Severity::Error, escapedLine(prefix, e));
  } catch (...) {
  }
}

XSI::CValue hostValue(const PortValue& v) {
  switch (v.kind) {
    case PortValue::Kind::Vector3:
      return XSI::MATH::CVector3f(static_cast<float>(v.x), static_cast<float>(v.y),
                                  static_cast<float>(v.z));
    case PortValue::Kind::Long:
      return static_cast<XSI::LONG>(v.x);
    case PortValue::Kind::Double:
      return v.x;
    case PortValue::Kind::Bool:
      return v.x != 0.0;
    case PortValue::Kind::Empty:
      break;
  }
  return XSI::CValue();
}

void defineNode(XSI::PluginRegistrar& reg, const NodeBinding& node) {
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
  for (const InputPort& p : node.inputs) {
    assertOk(def.AddInputPort(
        p.id, kPortGroup, p.dataType, XSI::siICENodeStructureAny, XSI::siICENodeContextSingleton,
        p.name, p.scriptName, hostValue(p.defaultValue), hostValue(p.minValue),
        hostValue(p.maxValue), kNoConstraint, kNoConstraint, kSingletonConstraint));
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
}

void publish(Outcome outcome, XSI::ICENodeContext& ctx, XSI::CDataArrayRef& output,
             const TopoStore& store) {
  switch (outcome) {
    case Outcome::Published:
    case Outcome::PassThrough:
      publishRecord(ctx, output, store);
      break;
    case Outcome::Empty:
      publishEmpty(ctx, output);
      break;
    case Outcome::Unwritten:
      break;
  }
}

}  // namespace

Logger hostLogger() {
  return [](Severity s, const std::string& text) {
    XSI::Application().LogMessage(XSI::CString(text), static_cast<XSI::siSeverityType>(s));
  };
}

std::string outOfMemoryLine(const char* prefix) {
  return std::string(prefix) + "Out of memory, break";
}

XSI::CStatus loadPlugin(XSI::PluginRegistrar& reg, const NodeBinding& node) noexcept {
  try {
    defineNode(reg, node);
  } catch (...) {
    logEscaped(node.prefix, std::current_exception());
  }
  return XSI::CStatus::OK;
}

XSI::CStatus unloadPlugin(const XSI::PluginRegistrar& reg) noexcept {
  try {
    const XSI::CString name = reg.GetName();
    XSI::Application().LogMessage(name + XSI::CString(" has been unloaded."), XSI::siVerboseMsg);
  } catch (...) {
  }
  return XSI::CStatus::OK;
}

XSI::CStatus clearCallback(const NodeBinding& node) noexcept {
  try {
    clearTopoStore(moduleStore());
  } catch (...) {
    logEscaped(node.prefix, std::current_exception());
  }
  return XSI::CStatus::OK;
}

XSI::CStatus evaluateCallback(XSI::ICENodeContext& ctx, const NodeBinding& node) noexcept {
  try {
    const XSI::ULONG port = ctx.GetEvaluatedOutputPortID();
    if (port == node.otherPort && node.evaluateOther != nullptr) {
      node.evaluateOther(ctx);
      return XSI::CStatus::OK;
    }
    if (port != node.outputPort) return XSI::CStatus::OK;
    OutputArray output(ctx);
    TopoStore& store = moduleStore();
    try {
      Ports ports(ctx);
      publish(node.evaluate(ports, store), ctx, output.ref(), store);
    } catch (...) {
      // Whatever the binding wrote is not a result: nothing of it may stay referenced.
      clearTopoStore(store);
      logEscaped(node.prefix, std::current_exception());
      publishEmpty(ctx, output.ref());
    }
  } catch (...) {
    logEscaped(node.prefix, std::current_exception());
  }
  return XSI::CStatus::OK;
}

}  // namespace tsl
