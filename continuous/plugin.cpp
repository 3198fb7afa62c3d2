// TSL_Continuous: the host binding of the Continuous knife node.
#include "continuous/continuous.h"
#include "continuous/ports.h"
#include "core/plugin_frame.h"
#include "core/progress.h"

namespace {

using namespace tsl;
using namespace tsl::continuous::port;
using XSI::CValue;

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

Outcome evaluate(Ports& ports, TopoStore& store) {
  if (ports.anySingle({kPoints, kDescription, kKnifePoints, kKnifeDescriptor})) {
    return Outcome::Empty;
  }
  const std::vector<std::int32_t> knifeDescriptor = ports.longArray(kKnifeDescriptor);
  const std::vector<Float3> points = ports.vector3Array(kPoints);
  const std::vector<std::int32_t> description = ports.longArray(kDescription);
  continuous::ContinuousInput in;
  in.idsIsArray = !ports.isSingle(kFaceId);
  in.uvwIsArray = !ports.isSingle(kUvw);
  in.knifeUvwIsArray = !ports.isSingle(kKnifeUvw);
  std::vector<std::int32_t> ids;
  std::vector<Float3> uvw, knifeUvw;
  if (in.idsIsArray) ids = ports.longArray(kFaceId);
  if (in.uvwIsArray) uvw = ports.vector3Array(kUvw);
  if (in.knifeUvwIsArray) knifeUvw = ports.vector3Array(kKnifeUvw);
  const std::vector<Float3> knifePoints = ports.vector3Array(kKnifePoints);
  in.points = points;
  in.description = description;
  in.ids = ids;
  in.uvw = uvw;
  in.knifePoints = knifePoints;
  in.knifeDescriptor = knifeDescriptor;
  in.knifeUvw = knifeUvw;
  return continuous::carve(in, store, hostLogger(), hostProgress());
}

const NodeBinding kNode{nodeSpec, "TSL CONT: ", kOutput, evaluate};

}  // namespace

TSL_PLUGIN_CALLBACKS(TSL_Continuous, kNode)
