// TSL_Continuous: the host binding of the Continuous knife node.
#include "continuous/continuous.h"
#include "core/plugin_frame.h"
#include "core/port_access.h"
#include "core/progress.h"
#include "core/topo_store.h"

namespace {

using namespace tsl;
using XSI::CValue;
using XSI::ULONG;

enum Port : ULONG {
  kPoints = 0,
  kDescription = 1,
  kUvw = 2,
  kFaceId = 3,
  kKnifePoints = 4,
  kKnifeDescriptor = 5,
  kKnifeUvw = 6,
  kOutput = 200,
};

constexpr const char* kPrefix = "TSL CONT: ";
constexpr ULONG kSingle = XSI::siICENodeStructureSingle;

NodeSpec nodeSpec() {
  const CValue ones(XSI::MATH::CVector3f(1.0f, 1.0f, 1.0f));
  const CValue zero(XSI::LONG(0));
  return {
      "TSL Continuous Plugin",
      "TSL_Continuous",
      "TSL Continuous",
      {
          {kPoints, XSI::siICENodeDataVector3, "Points", "A_Points", ones},
          {kDescription, XSI::siICENodeDataLong, "Descriptor", "A_Descriptor", zero},
          {kUvw, XSI::siICENodeDataVector3, "UVW", "A_UVW", ones},
          {kFaceId, XSI::siICENodeDataLong, "Face ID", "Face_ID", zero},
          {kKnifePoints, XSI::siICENodeDataVector3, "Knife Points", "Knife_Points", ones},
          {kKnifeDescriptor, XSI::siICENodeDataLong, "Knife Descriptor", "Knife_Description", zero},
          // The knife UVW port has an integer default although it carries 3-vectors.
          {kKnifeUvw, XSI::siICENodeDataVector3, "Knife UVW", "Knife_UVW", zero},
      },
      {{kOutput}}};
}

void evaluate(XSI::ICENodeContext& ctx, XSI::CDataArrayRef& output) {
  ULONG s[7];
  for (ULONG port :
       {kPoints, kUvw, kDescription, kFaceId, kKnifePoints, kKnifeUvw, kKnifeDescriptor}) {
    s[port] = portStructure(ctx, port);
  }
  if (s[kPoints] == kSingle || s[kDescription] == kSingle || s[kKnifePoints] == kSingle ||
      s[kKnifeDescriptor] == kSingle) {
    publishEmpty(ctx, output);
    return;
  }
  const std::vector<std::int32_t> knifeDescriptor = readLongArray(ctx, kKnifeDescriptor);
  const std::vector<Float3> points = readVector3Array(ctx, kPoints);
  const std::vector<std::int32_t> description = readLongArray(ctx, kDescription);
  continuous::ContinuousInput in;
  in.idsIsArray = s[kFaceId] != kSingle;
  in.uvwIsArray = s[kUvw] != kSingle;
  in.knifeUvwIsArray = s[kKnifeUvw] != kSingle;
  std::vector<std::int32_t> ids;
  std::vector<Float3> uvw, knifeUvw;
  if (in.idsIsArray) ids = readLongArray(ctx, kFaceId);
  if (in.uvwIsArray) uvw = readVector3Array(ctx, kUvw);
  if (in.knifeUvwIsArray) knifeUvw = readVector3Array(ctx, kKnifeUvw);
  const std::vector<Float3> knifePoints = readVector3Array(ctx, kKnifePoints);
  in.points = points;
  in.description = description;
  in.ids = ids;
  in.uvw = uvw;
  in.knifePoints = knifePoints;
  in.knifeDescriptor = knifeDescriptor;
  in.knifeUvw = knifeUvw;

  TopoStore& store = moduleStore();
  switch (continuous::carve(in, store, hostLogger(), hostProgress())) {
    case continuous::Outcome::Published:
      publishRecord(ctx, output, store);
      break;
    case continuous::Outcome::Empty:
      publishEmpty(ctx, output);
      break;
    case continuous::Outcome::Unwritten:
      break;
  }
}

}  // namespace

XSIPLUGINCALLBACK XSI::CStatus XSILoadPlugin(XSI::PluginRegistrar& registrar) {
  XSI::CStatus st = XSI::CStatus::OK;
  guardedCallback(kPrefix, [&] { st = loadPlugin(registrar, nodeSpec()); });
  return st;
}

XSIPLUGINCALLBACK XSI::CStatus XSIUnloadPlugin(const XSI::PluginRegistrar& registrar) {
  return unloadPlugin(registrar);
}

XSIPLUGINCALLBACK XSI::CStatus TSL_Continuous_BeginEvaluate(XSI::ICENodeContext&) {
  return guardedCallback(kPrefix, [] { clearTopoStore(moduleStore()); });
}

XSIPLUGINCALLBACK XSI::CStatus TSL_Continuous_Evaluate(XSI::ICENodeContext& ctx) {
  return guardedEvaluate(ctx, kOutput, kPrefix,
                         [&](XSI::CDataArrayRef& output) { evaluate(ctx, output); });
}
