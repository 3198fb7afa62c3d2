// TSL_ICE_Boolean: the host binding of the Boolean node.
#include "boolean/boolean.h"
#include "boolean/ports.h"
#include "core/plugin_frame.h"

namespace {

using namespace tsl;
using namespace tsl::boolean::port;
using XSI::CValue;

NodeSpec nodeSpec() {
  const CValue ones(XSI::MATH::CVector3f(1.0f, 1.0f, 1.0f));
  const CValue zero(XSI::LONG(0));
  return {
      "TSL_ICE_Boolean",
      "TSL_ICE_Boolean",
      "TSL ICE Boolean",
      {
          {kAPoints, XSI::siICENodeDataVector3, "A Points", "A_Points", ones},
          {kADescription, XSI::siICENodeDataLong, "A Descriptor", "A_Descriptor", zero},
          {kAUvw, XSI::siICENodeDataVector3, "A UVW", "A_UVW", ones},
          {kAFaceId, XSI::siICENodeDataLong, "A Face ID", "A_FaceID", zero},
          {kBPoints, XSI::siICENodeDataVector3, "B Points", "B_Points", ones},
          {kBDescription, XSI::siICENodeDataLong, "B Descriptor", "B_Descriptor", zero},
          {kBUvw, XSI::siICENodeDataVector3, "B UVW", "B_UVW", ones},
          {kBFaceId, XSI::siICENodeDataLong, "B Face ID", "B_FaceID", zero},
          {kFunction, XSI::siICENodeDataLong, "Function", "Function", zero, CValue(XSI::LONG(0)),
           CValue(XSI::LONG(4))},
          {kClassification, XSI::siICENodeDataLong, "Classification type", "Classification_type",
           CValue(XSI::LONG(1)), CValue(XSI::LONG(0)), CValue(XSI::LONG(1))},
          {kTriangulate, XSI::siICENodeDataBool, "Triangulate", "Triangulate", CValue(false)},
          {kCanonicalize, XSI::siICENodeDataBool, "Canonicalize", "Canonicalize", CValue(false)},
      },
      {{kOutput},
       {kAbout, XSI::siICENodeDataString, XSI::siICENodeStructureArray, "About", "About"}}};
}

// Face identifiers as delivered: one value labels every face (stride 0), an array one each.
void readFaceIds(Ports& ports, XSI::ULONG port, boolean::MeshInput& m) {
  m.idStride = ports.isSingle(port) ? 0 : 1;
  m.ids = ports.longValues(port);
}

Outcome evaluate(Ports& ports, TopoStore& store) {
  if (ports.anySingle({kAPoints, kADescription, kBPoints, kBDescription})) return Outcome::Empty;
  const std::vector<Float3> aPoints = ports.vector3Array(kAPoints);
  const std::vector<std::int32_t> aDescription = ports.longArray(kADescription);
  const std::vector<Float3> bPoints = ports.vector3Array(kBPoints);
  const std::vector<std::int32_t> bDescription = ports.longArray(kBDescription);

  boolean::BooleanInput in;
  in.function = ports.longOption(kFunction, 0);
  in.classification = ports.longOption(kClassification, 0);
  in.triangulate = ports.boolOption(kTriangulate, false);
  in.canonicalize = ports.boolOption(kCanonicalize, false);
  if (!in.canonicalize) {
    readFaceIds(ports, kAFaceId, in.a);
    readFaceIds(ports, kBFaceId, in.b);
  }
  std::vector<Float3> aUvw, bUvw;
  in.a.uvwIsArray = !ports.isSingle(kAUvw);
  in.b.uvwIsArray = !ports.isSingle(kBUvw);
  if (in.a.uvwIsArray) aUvw = ports.vector3Array(kAUvw);
  if (in.b.uvwIsArray) bUvw = ports.vector3Array(kBUvw);
  in.a.points = aPoints;
  in.a.description = aDescription;
  in.a.uvw = aUvw;
  in.b.points = bPoints;
  in.b.description = bDescription;
  in.b.uvw = bUvw;
  return boolean::combine(in, store, hostLogger());
}

void evaluateAbout(XSI::ICENodeContext& ctx) {
  OutputArray out(ctx, XSI::siICENodeDataString, /*twoD=*/true);
  XSI::CString text;
  text.PutAsciiString(boolean::aboutText());
  ctx.ResizeSubArray(out.ref(), 0, text.Length());
  ctx.SetStringData2D(out.ref(), 0, 0, text.GetWideString(), text.Length());
}

const NodeBinding kNode{nodeSpec, "ICE BOOLEAN: ", kOutput, evaluate, kAbout, evaluateAbout};

}  // namespace

TSL_PLUGIN_CALLBACKS(TSL_ICE_Boolean, kNode)
TSL_PLUGIN_INIT(TSL_ICE_Boolean, kNode)
TSL_PLUGIN_TERM(TSL_ICE_Boolean)
