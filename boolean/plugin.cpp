// TSL_ICE_Boolean: the host binding of the Boolean node.
#include "boolean/boolean.h"
#include "boolean/ports.h"
#include "core/plugin_frame.h"

namespace {

using namespace tsl;
using namespace tsl::boolean::port;

// One mesh with its identifiers: one value labels every face (stride 0), an array one each.
// With canonical output no identifiers are carried, so none are taken.
void bindOperand(const MeshArrays& mesh, bool canonicalize, boolean::MeshInput& m) {
  bindMesh(mesh, m);
  if (canonicalize) return;
  m.ids = mesh.ids;
  m.idStride = mesh.idsIsArray ? 1 : 0;
}

Outcome evaluate(Ports& ports, TopoStore& store) {
  if (ports.anySingle({kAPoints, kADescription, kBPoints, kBDescription})) return Outcome::Empty;
  boolean::BooleanInput in;
  in.function = ports.longOption(kFunction, 0);
  in.classification = ports.longOption(kClassification, 0);
  in.triangulate = ports.boolOption(kTriangulate, false);
  in.canonicalize = ports.boolOption(kCanonicalize, false);
  const MeshArrays a = ports.mesh(kAPoints, kADescription, kAUvw, kAFaceId);
  const MeshArrays b = ports.mesh(kBPoints, kBDescription, kBUvw, kBFaceId);
  bindOperand(a, in.canonicalize, in.a);
  bindOperand(b, in.canonicalize, in.b);
  return boolean::combine(in, store, hostLogger());
}

void evaluateAbout(XSI::ICENodeContext& ctx) {
  OutputArray out(ctx, XSI::siICENodeDataString, /*twoD=*/true);
  XSI::CString text;
  text.PutAsciiString(boolean::aboutText());
  ctx.ResizeSubArray(out.ref(), 0, text.Length());
  ctx.SetStringData2D(out.ref(), 0, 0, text.GetWideString(), text.Length());
}

constexpr InputPort kInputs[] = {kAPoints,  kADescription,   kAUvw,        kAFaceId,
                                 kBPoints,  kBDescription,   kBUvw,        kBFaceId,
                                 kFunction, kClassification, kTriangulate, kCanonicalize};
constexpr OutputPortSpec kOutputs[] = {
    {kOutput}, {kAbout, XSI::siICENodeDataString, XSI::siICENodeStructureArray, "About", "About"}};
const NodeBinding kNode{
    "TSL_ICE_Boolean", "TSL_ICE_Boolean", "TSL ICE Boolean", kInputs, kOutputs,
    "ICE BOOLEAN: ",   kOutput,           evaluate,          kAbout,  evaluateAbout};

}  // namespace

TSL_PLUGIN_CALLBACKS(TSL_ICE_Boolean, kNode)
TSL_PLUGIN_INIT(TSL_ICE_Boolean, kNode)
TSL_PLUGIN_TERM(TSL_ICE_Boolean)
