// TSL_Continuous: the host binding of the Continuous knife node.
#include "continuous/continuous.h"
#include "continuous/ports.h"
#include "core/plugin_frame.h"
#include "core/progress.h"

namespace {

using namespace tsl;
using namespace tsl::continuous::port;

Outcome evaluate(Ports& ports, TopoStore& store) {
  if (ports.anySingle({kPoints, kDescription, kKnifePoints, kKnifeDescriptor})) {
    return Outcome::Empty;
  }
  const MeshArrays a = ports.mesh(kPoints, kDescription, kUvw, kFaceId);
  const std::vector<std::int32_t> knifeDescriptor = ports.longArray(kKnifeDescriptor);
  const std::vector<Float3> knifePoints = ports.vector3Array(kKnifePoints);
  continuous::ContinuousInput in;
  bindMesh(a, in);
  in.knifePoints = knifePoints;
  in.knifeDescriptor = knifeDescriptor;
  std::vector<Float3> knifeUvw;
  in.knifeUvwIsArray = !ports.isSingle(kKnifeUvw);
  if (in.knifeUvwIsArray) knifeUvw = ports.vector3Array(kKnifeUvw);
  in.knifeUvw = knifeUvw;
  return continuous::carve(in, store, hostLogger(), hostProgress());
}

constexpr InputPort kInputs[] = {kPoints,      kDescription,     kUvw,     kFaceId,
                                 kKnifePoints, kKnifeDescriptor, kKnifeUvw};
constexpr OutputPortSpec kOutputs[] = {{kOutput}};
const NodeBinding kNode{"TSL Continuous Plugin",
                        "TSL_Continuous",
                        "TSL Continuous",
                        kInputs,
                        kOutputs,
                        "TSL CONT: ",
                        kOutput,
                        evaluate};

}  // namespace

TSL_PLUGIN_CALLBACKS(TSL_Continuous, kNode)
