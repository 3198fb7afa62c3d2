// TSL_Voronoi: the host binding of the Voronoi fracture node.
#include "core/plugin_frame.h"
#include "core/port_access.h"
#include "core/progress.h"
#include "core/topo_store.h"
#include "voronoi/voronoi_fragments.h"

namespace {

using namespace tsl;
using XSI::CValue;
using XSI::ULONG;

enum Port : ULONG {
  kPoints = 0,
  kDescription = 1,
  kUvw = 2,
  kCentres = 3,
  kThickness = 4,
  kFaceId = 6,
  kUvScale = 7,
  kOutput = 200,
};

constexpr const char* kPrefix = "TSL VORONOI: ";
constexpr ULONG kSingle = XSI::siICENodeStructureSingle;

NodeSpec nodeSpec() {
  const CValue ones(XSI::MATH::CVector3f(1.0f, 1.0f, 1.0f));
  const CValue zero(XSI::LONG(0));
  return {
      "TSL Voronoi Plugin",
      "TSL_Voronoi",
      "TSL Voronoi",
      {
          {kPoints, XSI::siICENodeDataVector3, "Points", "A_Points", ones},
          {kDescription, XSI::siICENodeDataLong, "Descriptor", "A_Descriptor", zero},
          {kUvw, XSI::siICENodeDataVector3, "UVW", "A_UVW", ones},
          {kFaceId, XSI::siICENodeDataLong, "Face ID", "Face_ID", zero},
          {kCentres, XSI::siICENodeDataVector3, "Centers", "Centers", ones},
          {kThickness, XSI::siICENodeDataFloat, "Knife Thickness", "Thickness", CValue(0.001),
           CValue(0.00005), CValue(0.9999)},
          // "UV Scale" has a minimum but no default.
          {kUvScale, XSI::siICENodeDataFloat, "UV Scale", "UVSCL", CValue(), CValue(XSI::LONG(1))},
      },
      {{kOutput}}};
}

float readScalar(XSI::ICENodeContext& ctx, ULONG port) {
  if (portStructure(ctx, port) == kSingle) return readFloatSingle(ctx, port).value_or(0.0f);
  const auto v = readFloatArray(ctx, port);
  return v.empty() ? 0.0f : v.front();
}

void evaluate(XSI::ICENodeContext& ctx, XSI::CDataArrayRef& output) {
  ULONG s[8] = {};
  for (ULONG port : {kPoints, kDescription, kUvw, kFaceId, kCentres, kThickness, kUvScale}) {
    s[port] = portStructure(ctx, port);
  }
  if (s[kPoints] == kSingle || s[kDescription] == kSingle || s[kCentres] == kSingle) {
    publishEmpty(ctx, output);
    return;
  }
  const std::vector<Float3> centres = readVector3Array(ctx, kCentres);
  voronoi::VoronoiInput in;
  in.thickness = readScalar(ctx, kThickness);
  const std::vector<Float3> points = readVector3Array(ctx, kPoints);
  const std::vector<std::int32_t> description = readLongArray(ctx, kDescription);
  in.idsIsArray = s[kFaceId] != kSingle;
  in.uvwIsArray = s[kUvw] != kSingle;
  std::vector<std::int32_t> ids;
  std::vector<Float3> uvw;
  if (in.idsIsArray) ids = readLongArray(ctx, kFaceId);
  if (in.uvwIsArray) uvw = readVector3Array(ctx, kUvw);
  in.points = points;
  in.description = description;
  in.centres = centres;
  in.ids = ids;
  in.uvw = uvw;
  in.uvScale = [&ctx] { return readScalar(ctx, kUvScale); };

  TopoStore& store = moduleStore();
  if (voronoi::fracture(in, store, hostLogger(), hostProgress()) == voronoi::Outcome::Published) {
    publishRecord(ctx, output, store);
  } else {
    publishEmpty(ctx, output);
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

XSIPLUGINCALLBACK XSI::CStatus TSL_Voronoi_BeginEvaluate(XSI::ICENodeContext&) {
  return guardedCallback(kPrefix, [] { clearTopoStore(moduleStore()); });
}

XSIPLUGINCALLBACK XSI::CStatus TSL_Voronoi_Evaluate(XSI::ICENodeContext& ctx) {
  return guardedEvaluate(ctx, kOutput, kPrefix,
                         [&](XSI::CDataArrayRef& output) { evaluate(ctx, output); });
}
