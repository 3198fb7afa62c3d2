#include "cli/node_run.h"

#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <set>
#include <sstream>

#include "cli/mesh_output.h"
#include "cli/record.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

fs::path executableDir() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return fs::current_path();
  buf[n] = '\0';
  return fs::path(buf).parent_path();
}

const char* severityName(std::uint32_t s) {
  switch (s) {
    case 2:
      return "error";
    case 4:
      return "warning";
    case 8:
      return "info";
    case 16:
      return "verbose";
  }
  return "unknown";
}

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string jsonNumber(float v) {
  if (!std::isfinite(v)) return "null";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
  return buf;
}

}  // namespace

std::string locatePlugin(const std::string& nameOrPath) {
  if (nameOrPath.find('/') != std::string::npos || fs::path(nameOrPath).extension() == ".so") {
    if (!fs::exists(nameOrPath)) throw UsageError(nameOrPath + ": no such plug-in file");
    return nameOrPath;
  }
  const fs::path dir = executableDir();
  for (const fs::path& candidate : {dir / ".." / "plugins", dir / "plugins"}) {
    const fs::path p = candidate / (nameOrPath + ".so");
    if (fs::exists(p)) return fs::canonical(p).string();
  }
  throw UsageError(nameOrPath + ": no plug-in of that name beside " + dir.string());
}

HostArrays toHostArrays(const geom::MeshFile& mesh) {
  HostArrays a;
  a.points.reserve(mesh.points.size());
  for (const auto& p : mesh.points) {
    a.points.push_back({static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)});
  }
  for (const auto& poly : mesh.polygons) {
    a.description.insert(a.description.end(), poly.begin(), poly.end());
    a.description.push_back(-2);
  }
  a.uvw.assign(mesh.uvw.begin(), mesh.uvw.end());
  a.faceIds.assign(mesh.faceIds.begin(), mesh.faceIds.end());
  return a;
}

int report(host::Host& h, std::uint32_t port, const Args& args,
           const std::function<void(TopoMesh&)>& adjust) {
  for (const auto& line : h.log()) {
    std::cerr << '[' << severityName(line.severity) << "] " << line.text << '\n';
  }
  for (const auto& e : h.escapedExceptions())
    std::cerr << "[host] exception escaped: " << e << '\n';
  const host::CustomOutput& out = h.customOutput(port);
  TopoMesh mesh;
  const bool published = out.state == host::OutputState::Data;
  if (published) mesh = readRecord(out.bytes);

  if (args.flag("--json")) {
    std::ostringstream js;
    js << "{\n  \"record\": " << jsonString(stateName(out.state));
    js << ",\n  \"points\": " << mesh.points.size() << ",\n  \"faces\": " << mesh.faceCount();
    std::set<int> islands;
    if (published && mesh.faceCount() > 0) {
      for (int i : faceIslands(mesh)) islands.insert(i);
    }
    js << ",\n  \"islands\": " << islands.size() << ",\n  \"uvw\": " << mesh.uvw.size();
    js << ",\n  \"faceInfo\": " << mesh.faceInfo.size() << ",\n  \"bounds\": [";
    for (std::size_t i = 0; i < mesh.bounds.size(); ++i) {
      js << (i ? ", " : "") << '[' << jsonNumber(mesh.bounds[i][0]) << ", "
         << jsonNumber(mesh.bounds[i][1]) << ", " << jsonNumber(mesh.bounds[i][2]) << ']';
    }
    js << "],\n  \"log\": [";
    const auto& log = h.log();
    for (std::size_t i = 0; i < log.size(); ++i) {
      js << (i ? "," : "") << "\n    {\"severity\": " << jsonString(severityName(log[i].severity))
         << ", \"text\": " << jsonString(log[i].text) << '}';
    }
    js << (log.empty() ? "]" : "\n  ]") << "\n}\n";
    std::cout << js.str();
  }
  if (!published) return kExitNoRecord;
  if (const auto path = args.value("-o")) {
    if (adjust) adjust(mesh);
    writeMesh(mesh, *path);
  }
  return 0;
}

}  // namespace cli
