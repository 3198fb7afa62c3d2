// TSL_Combiner: the host binding of the Combiner node.
#include "combiner/combiner.h"
#include "core/plugin_frame.h"
#include "core/port_access.h"
#include "core/topo_store.h"

namespace {

using namespace tsl;
using XSI::CValue;
using XSI::MATH::CVector3f;

enum Port : XSI::ULONG {
  kPoints = 0,
  kDescription = 1,
  kUvw = 2,
  kFaceId = 3,
  kFilter = 5,
  kOutput = 202,
};

constexpr const char* kPrefix = "TSL COMBINER: ";

NodeSpec nodeSpec() {
  const CVector3f ones(1.0f, 1.0f, 1.0f);
  return {
      "TSL Combiner Plugin",
      "TSL_Combiner",
      "TSL Combiner",
      {
          {kPoints, XSI::siICENodeDataVector3, "Point Position", "Point_Position", CValue(ones)},
          {kDescription, XSI::siICENodeDataLong, "Polygonal Description", "Polygonal_Description",
           CValue(XSI::LONG(0))},
          {kUvw, XSI::siICENodeDataVector3, "UVW", "UVW", CValue(ones)},
          {kFaceId, XSI::siICENodeDataLong, "Face ID", "Face_ID", CValue(XSI::LONG(0))},
          {kFilter, XSI::siICENodeDataLong, "Filter By ID", "Filter_By_ID", CValue(XSI::LONG(-1))},
      },
      {{kOutput}}};
}

void evaluate(XSI::ICENodeContext& ctx, XSI::CDataArrayRef& output) {
  const XSI::ULONG points = portStructure(ctx, kPoints);
  const XSI::ULONG description = portStructure(ctx, kDescription);
  const XSI::ULONG uvw = portStructure(ctx, kUvw);
  const XSI::ULONG filter = portStructure(ctx, kFilter);
  const XSI::ULONG faceId = portStructure(ctx, kFaceId);
  if (points == XSI::siICENodeStructureSingle || description == XSI::siICENodeStructureSingle) {
    publishEmpty(ctx, output);
    return;
  }

  combiner::CombinerInput in;
  if (faceId == XSI::siICENodeStructureSingle) {
    if (const auto v = readLongSingle(ctx, kFaceId)) in.faceIds.push_back(*v);
  } else {
    in.faceIds = readLongArray(ctx, kFaceId);
  }
  if (filter == XSI::siICENodeStructureSingle) {
    in.filter = readLongSingle(ctx, kFilter).value_or(combiner::kNoFilter);
  } else {
    // An empty filter array has no first entry: no filter.
    const auto values = readLongArray(ctx, kFilter);
    in.filter = values.empty() ? combiner::kNoFilter : values.front();
  }
  in.uvwIsArray = uvw != XSI::siICENodeStructureSingle;
  const std::vector<Float3> pointData = readVector3Array(ctx, kPoints);
  const std::vector<std::int32_t> descriptionData = readLongArray(ctx, kDescription);
  std::vector<Float3> uvwData;
  if (in.uvwIsArray) uvwData = readVector3Array(ctx, kUvw);
  in.points = pointData;
  in.description = descriptionData;
  in.uvw = uvwData;

  TopoStore& store = moduleStore();
  if (combiner::combine(in, store, hostLogger()) == combiner::Outcome::Published) {
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

XSIPLUGINCALLBACK XSI::CStatus TSL_Combiner_Init(XSI::CRef& ref) {
  return guardedCallback(kPrefix, [&] {
    XSI::Context context(ref);
    clearTopoStore(moduleStore());
  });
}

XSIPLUGINCALLBACK XSI::CStatus TSL_Combiner_BeginEvaluate(XSI::ICENodeContext&) {
  return guardedCallback(kPrefix, [] { clearTopoStore(moduleStore()); });
}

XSIPLUGINCALLBACK XSI::CStatus TSL_Combiner_Evaluate(XSI::ICENodeContext& ctx) {
  return guardedEvaluate(ctx, kOutput, kPrefix,
                         [&](XSI::CDataArrayRef& output) { evaluate(ctx, output); });
}
