// TSL_Voronoi: the host binding of the Voronoi fracture node.
#include "core/plugin_frame.h"
#include "core/progress.h"
#include "voronoi/ports.h"
#include "voronoi/voronoi_fragments.h"

namespace {

using namespace tsl;
using namespace tsl::voronoi::port;
using XSI::CValue;

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

Outcome evaluate(Ports& ports, TopoStore& store) {
  if (ports.anySingle({kPoints, kDescription, kCentres})) return Outcome::Empty;
  const std::vector<Float3> centres = ports.vector3Array(kCentres);
  voronoi::VoronoiInput in;
  in.thickness = ports.floatOption(kThickness, 0.0f);
  const std::vector<Float3> points = ports.vector3Array(kPoints);
  const std::vector<std::int32_t> description = ports.longArray(kDescription);
  in.idsIsArray = !ports.isSingle(kFaceId);
  in.uvwIsArray = !ports.isSingle(kUvw);
  std::vector<std::int32_t> ids;
  std::vector<Float3> uvw;
  if (in.idsIsArray) ids = ports.longArray(kFaceId);
  if (in.uvwIsArray) uvw = ports.vector3Array(kUvw);
  in.points = points;
  in.description = description;
  in.centres = centres;
  in.ids = ids;
  in.uvw = uvw;
  in.uvScale = [&ports] { return ports.floatOption(kUvScale, 0.0f); };
  return voronoi::fracture(in, store, hostLogger(), hostProgress());
}

const NodeBinding kNode{nodeSpec, "TSL VORONOI: ", kOutput, evaluate};

}  // namespace

TSL_PLUGIN_CALLBACKS(TSL_Voronoi, kNode)
