// TSL_Combiner: the host binding of the Combiner node.
#include "combiner/combiner.h"
#include "combiner/ports.h"
#include "core/plugin_frame.h"

namespace {

using namespace tsl;
using namespace tsl::combiner::port;

Outcome evaluate(Ports& ports, TopoStore& store) {
  if (ports.anySingle({kPoints, kDescription})) return Outcome::Empty;
  const MeshArrays mesh = ports.mesh(kPoints, kDescription, kUvw, kFaceId);
  combiner::CombinerInput in;
  bindMesh(mesh, in);
  in.faceIds = mesh.ids;
  // An empty filter array has no first entry: no filter.
  in.filter = ports.longOption(kFilter, combiner::kNoFilter);
  return combiner::combine(in, store, hostLogger());
}

constexpr InputPort kInputs[] = {kPoints, kDescription, kUvw, kFaceId, kFilter};
constexpr OutputPortSpec kOutputs[] = {{kOutput}};
const NodeBinding kNode{"TSL Combiner Plugin", "TSL_Combiner", "TSL Combiner", kInputs, kOutputs,
                        "TSL COMBINER: ",      kOutput,        evaluate};

}  // namespace

TSL_PLUGIN_CALLBACKS(TSL_Combiner, kNode)
TSL_PLUGIN_INIT(TSL_Combiner, kNode)
