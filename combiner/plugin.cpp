// TSL_Combiner: the host binding of the Combiner node.
#include "combiner/combiner.h"
#include "combiner/ports.h"
#include "core/plugin_frame.h"

namespace {

using namespace tsl;
using namespace tsl::combiner::port;
using XSI::CValue;

NodeSpec nodeSpec() {
  const CValue ones(XSI::MATH::CVector3f(1.0f, 1.0f, 1.0f));
  return {
      "TSL Combiner Plugin",
      "TSL_Combiner",
      "TSL Combiner",
      {
          {kPoints, XSI::siICENodeDataVector3, "Point Position", "Point_Position", ones},
          {kDescription, XSI::siICENodeDataLong, "Polygonal Description", "Polygonal_Description",
           CValue(XSI::LONG(0))},
          {kUvw, XSI::siICENodeDataVector3, "UVW", "UVW", ones},
          {kFaceId, XSI::siICENodeDataLong, "Face ID", "Face_ID", CValue(XSI::LONG(0))},
          {kFilter, XSI::siICENodeDataLong, "Filter By ID", "Filter_By_ID", CValue(XSI::LONG(-1))},
      },
      {{kOutput}}};
}

Outcome evaluate(Ports& ports, TopoStore& store) {
  if (ports.anySingle({kPoints, kDescription})) return Outcome::Empty;
  combiner::CombinerInput in;
  in.faceIds = ports.longValues(kFaceId);
  // An empty filter array has no first entry: no filter.
  in.filter = ports.longOption(kFilter, combiner::kNoFilter);
  in.uvwIsArray = !ports.isSingle(kUvw);
  const std::vector<Float3> points = ports.vector3Array(kPoints);
  const std::vector<std::int32_t> description = ports.longArray(kDescription);
  std::vector<Float3> uvw;
  if (in.uvwIsArray) uvw = ports.vector3Array(kUvw);
  in.points = points;
  in.description = description;
  in.uvw = uvw;
  return combiner::combine(in, store, hostLogger());
}

const NodeBinding kNode{nodeSpec, "TSL COMBINER: ", kOutput, evaluate};

}  // namespace

TSL_PLUGIN_CALLBACKS(TSL_Combiner, kNode)
TSL_PLUGIN_INIT(TSL_Combiner, kNode)
