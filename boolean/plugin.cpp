// TSL_ICE_Boolean: the host binding of the Boolean node.
#include "boolean/boolean.h"
#include "core/plugin_frame.h"
#include "core/port_access.h"
#include "core/topo_store.h"

namespace {

using namespace tsl;
using XSI::CValue;
using XSI::ULONG;

enum Port : ULONG {
  kAPoints = 0,
  kADescription = 1,
  kAUvw = 2,
  kBPoints = 3,
  kBDescription = 4,
  kBUvw = 5,
  kFunction = 6,
  kClassification = 7,
  kTriangulate = 8,
  kAFaceId = 9,
  kBFaceId = 10,
  kCanonicalize = 11,
  kOutput = 201,
  kAbout = 202,
};

constexpr const char* kPrefix = "ICE BOOLEAN: ";
constexpr ULONG kSingle = XSI::siICENodeStructureSingle;

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

// Function and Classification type: a single value, or the first entry of an array; a value
// without data or an empty array reads 0.
std::int32_t readOption(XSI::ICENodeContext& ctx, ULONG port, ULONG structure) {
  if (structure == kSingle) return readLongSingle(ctx, port).value_or(0);
  if (structure == XSI::siICENodeStructureArray) {
    const auto v = readLongArray(ctx, port);
    return v.empty() ? 0 : v.front();
  }
  return 0;
}

bool readFlag(XSI::ICENodeContext& ctx, ULONG port, ULONG structure) {
  if (structure != kSingle) {
    const auto v = readBoolArray(ctx, port);
    return !v.empty() && (v.front() & 1u) != 0;
  }
  return readBoolSingle(ctx, port).value_or(false);
}

void readFaceIds(XSI::ICENodeContext& ctx, ULONG port, ULONG structure, boolean::MeshInput& m) {
  if (structure != kSingle) {
    m.ids = readLongArray(ctx, port);
    m.idStride = 1;
  } else {
    if (const auto v = readLongSingle(ctx, port)) m.ids.assign(1, *v);
    m.idStride = 0;
  }
}

void evaluateBoolean(XSI::ICENodeContext& ctx, XSI::CDataArrayRef& output) {
  ULONG s[12];
  const ULONG order[12] = {kAPoints,  kBPoints,        kADescription, kBDescription,
                           kAUvw,     kBUvw,           kAFaceId,      kBFaceId,
                           kFunction, kClassification, kTriangulate,  kCanonicalize};
  for (ULONG port : order) s[port] = portStructure(ctx, port);
  if (s[kAPoints] == kSingle || s[kADescription] == kSingle || s[kBPoints] == kSingle ||
      s[kBDescription] == kSingle) {
    publishEmpty(ctx, output);
    return;
  }
  const std::vector<Float3> aPoints = readVector3Array(ctx, kAPoints);
  const std::vector<std::int32_t> aDescription = readLongArray(ctx, kADescription);
  const std::vector<Float3> bPoints = readVector3Array(ctx, kBPoints);
  const std::vector<std::int32_t> bDescription = readLongArray(ctx, kBDescription);

  boolean::BooleanInput in;
  in.function = readOption(ctx, kFunction, s[kFunction]);
  in.classification = readOption(ctx, kClassification, s[kClassification]);
  in.triangulate = readFlag(ctx, kTriangulate, s[kTriangulate]);
  in.canonicalize = readFlag(ctx, kCanonicalize, s[kCanonicalize]);
  if (!in.canonicalize) {
    readFaceIds(ctx, kAFaceId, s[kAFaceId], in.a);
    readFaceIds(ctx, kBFaceId, s[kBFaceId], in.b);
  }
  std::vector<Float3> aUvw, bUvw;
  in.a.uvwIsArray = s[kAUvw] != kSingle;
  in.b.uvwIsArray = s[kBUvw] != kSingle;
  if (in.a.uvwIsArray) aUvw = readVector3Array(ctx, kAUvw);
  if (in.b.uvwIsArray) bUvw = readVector3Array(ctx, kBUvw);
  in.a.points = aPoints;
  in.a.description = aDescription;
  in.a.uvw = aUvw;
  in.b.points = bPoints;
  in.b.description = bDescription;
  in.b.uvw = bUvw;

  TopoStore& store = moduleStore();
  switch (boolean::combine(in, store, hostLogger())) {
    case boolean::Outcome::Published:
    case boolean::Outcome::PassThrough:
      publishRecord(ctx, output, store);
      break;
    case boolean::Outcome::Empty:
      publishEmpty(ctx, output);
      break;
    case boolean::Outcome::Unwritten:
      break;
  }
}

void evaluateAbout(XSI::ICENodeContext& ctx) {
  OutputArray out(ctx, XSI::siICENodeDataString, /*twoD=*/true);
  XSI::CString text;
  text.PutAsciiString(boolean::aboutText());
  ctx.ResizeSubArray(out.ref(), 0, text.Length());
  ctx.SetStringData2D(out.ref(), 0, 0, text.GetWideString(), text.Length());
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

XSIPLUGINCALLBACK XSI::CStatus TSL_ICE_Boolean_Init(XSI::CRef& ref) {
  return guardedCallback(kPrefix, [&] {
    XSI::Context context(ref);
    clearTopoStore(moduleStore());
  });
}

// The node instance's end clears the store exactly as its start does: one function, two names.
XSIPLUGINCALLBACK XSI::CStatus TSL_ICE_Boolean_Term(XSI::CRef& ref)
    __attribute__((alias("TSL_ICE_Boolean_Init")));

XSIPLUGINCALLBACK XSI::CStatus TSL_ICE_Boolean_BeginEvaluate(XSI::ICENodeContext&) {
  return guardedCallback(kPrefix, [] { clearTopoStore(moduleStore()); });
}

XSIPLUGINCALLBACK XSI::CStatus TSL_ICE_Boolean_Evaluate(XSI::ICENodeContext& ctx) {
  if (ctx.GetEvaluatedOutputPortID() == kAbout) {
    return guardedCallback(kPrefix, [&] { evaluateAbout(ctx); });
  }
  return guardedEvaluate(ctx, kOutput, kPrefix,
                         [&](XSI::CDataArrayRef& output) { evaluateBoolean(ctx, output); });
}
