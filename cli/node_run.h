// Running a real plug-in through the host face and reporting what it published: log lines on
// standard error, an optional JSON summary on standard output, the result file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "cli/args.h"
#include "geom/mesh_files.h"
#include "host/host.h"

namespace cli {

// Status for a run whose node gave no record (empty or unwritten output).
inline constexpr int kExitNoRecord = 2;
// Status for a file or usage problem.
inline constexpr int kExitUsage = 64;
inline constexpr int kExitInput = 66;

// The path of a plug-in given by path (contains '/' or ends in .so) or by node name
// (TSL_Combiner), looked up beside this executable. Throws UsageError when not found.
std::string locatePlugin(const std::string& nameOrPath);

// A mesh file as host arrays: points, description, per-corner UVW (may be empty), ids.
struct HostArrays {
  std::vector<host::Vec3f> points;
  std::vector<std::int32_t> description;
  std::vector<host::Vec3f> uvw;
  std::vector<std::int32_t> faceIds;
};
HostArrays toHostArrays(const geom::MeshFile& mesh);

struct TopoMesh;

// After an evaluate of port: prints the log as "[severity] text" lines on stderr, the JSON
// summary on stdout when --json was given, writes -o OUT when a record was published (after
// adjust, when given, has changed the copy to be written). Returns the exit status (0
// published, kExitNoRecord otherwise).
int report(host::Host& h, std::uint32_t port, const Args& args,
           const std::function<void(TopoMesh&)>& adjust = {});

}  // namespace cli
