#include "cli/verb_io.h"

#include <fstream>

#include "geom/error.h"

namespace cli {

std::string VerbIo::plugin(const std::string& node) {
  return locatePlugin(node);
}

InputMesh VerbIo::mesh(const std::string& path, NameTable& names, bool projectUv) {
  return readInput(path, names, projectUv);
}

HostArrays VerbIo::hostMesh(const std::string& path, NameTable& names, bool projectUv) {
  return toHostArrays(mesh(path, names, projectUv));
}

geom::MeshFile VerbIo::meshFile(const std::string& path) {
  return geom::readMeshFile(path);
}

std::unique_ptr<std::istream> VerbIo::text(const std::string& path) {
  auto in = std::make_unique<std::ifstream>(path);
  if (!*in) throw geom::Error(path + ": cannot open the file");
  return in;
}

std::unique_ptr<NodeSession> VerbIo::session(const RunOptions& options) {
  return std::make_unique<NodeSession>(options);
}

int VerbIo::report(Evaluation& e, const NodeRun& run, const RunOptions& options,
                   RunOutputs& outputs, const NameTable& names) {
  return cli::report(e, run, options, outputs, names);
}

int runNode(VerbIo& io, host::Host& h, const NodeRun& run, const RunOptions& options,
            RunOutputs& outputs, const NameTable& names) {
  Evaluation e;
  {
    const std::unique_ptr<NodeSession> session = io.session(options);
    e = session->evaluate(h, run.port);
  }
  return io.report(e, run, options, outputs, names);
}

}  // namespace cli
