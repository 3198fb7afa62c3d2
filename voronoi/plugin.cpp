// TSL_Voronoi: the host binding of the Voronoi fracture node.
#include "core/plugin_frame.h"
#include "core/progress.h"
#include "voronoi/ports.h"
#include "voronoi/voronoi_fragments.h"

namespace {

using namespace tsl;
using namespace tsl::voronoi::port;

Outcome evaluate(Ports& ports, TopoStore& store) {
  if (ports.anySingle({kPoints, kDescription, kCentres})) return Outcome::Empty;
  const std::vector<Float3> centres = ports.vector3Array(kCentres);
  voronoi::VoronoiInput in;
  in.thickness = ports.floatOption(kThickness, 0.0f);
  in.centres = centres;
  const MeshArrays mesh = ports.mesh(kPoints, kDescription, kUvw, kFaceId);
  bindMesh(mesh, in);
  // Read only when the node carries UVW.
  in.uvScale = [&ports] { return ports.floatOption(kUvScale, 0.0f); };
  return voronoi::fracture(in, store, hostLogger(), hostProgress());
}

constexpr InputPort kInputs[] = {kPoints,  kDescription, kUvw,    kFaceId,
                                 kCentres, kThickness,   kUvScale};
constexpr OutputPortSpec kOutputs[] = {{kOutput}};
const NodeBinding kNode{"TSL Voronoi Plugin", "TSL_Voronoi", "TSL Voronoi", kInputs, kOutputs,
                        "TSL VORONOI: ",      kOutput,       evaluate};

}  // namespace

TSL_PLUGIN_CALLBACKS(TSL_Voronoi, kNode)
