#include "cli/text_output.h"

#include <charconv>
#include <cstdio>
#include <map>
#include <ostream>

#include "cli/palette.h"

namespace cli {
namespace {

// The shortest text that reads back as the same float (printf's %.9g also round-trips, but
// is longer and formats several times slower: writing the numbers was most of a large file's
// time).
std::string fmt(float v) {
  char buf[32];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

// Every identifier to name: the table's, and any number a result carries that no input named.
std::map<std::int32_t, std::string> namedIds(const ResultMesh& r, const NameTable& names) {
  std::map<std::int32_t, std::string> out;
  for (const auto& [id, name] : names.entries()) out[id] = name;
  for (std::int32_t id : r.ids) out.emplace(id, names.nameOf(id));
  return out;
}

}  // namespace

void writeObj(const ResultMesh& r, const NameTable& names, const std::string& mtlName,
              std::ostream& out) {
  out << "# tessellon result: " << r.points.size() << " points, " << r.faces.size() << " faces, "
      << r.pieces.count << " pieces\n";
  out << "mtllib " << mtlName << '\n';
  for (const auto& p : r.points)
    out << "v " << fmt(p[0]) << ' ' << fmt(p[1]) << ' ' << fmt(p[2]) << '\n';
  for (const auto& t : r.uvw)
    out << "vt " << fmt(t[0]) << ' ' << fmt(t[1]) << ' ' << fmt(t[2]) << '\n';
  const auto byPiece = facesByPiece(r);
  for (std::size_t piece = 0; piece < byPiece.size(); ++piece) {
    out << "o " << r.pieceName(piece) << '\n';
    bool first = true;
    std::int32_t current = 0;
    for (std::size_t f : byPiece[piece]) {
      if (first || r.ids[f] != current) {
        current = r.ids[f];
        first = false;
        out << "usemtl " << names.nameOf(current) << '\n';
      }
      out << 'f';
      for (std::size_t k = 0; k < r.faces[f].size(); ++k) {
        out << ' ' << r.faces[f][k] + 1;
        if (r.hasUv()) out << '/' << r.firstCorner[f] + k + 1;
      }
      out << '\n';
    }
  }
}

void writeMtl(const ResultMesh& r, const NameTable& names, std::ostream& out) {
  out << "# tessellon materials: one per face identifier\n";
  for (const auto& [id, name] : namedIds(r, names)) {
    const Rgb c = identifierColour(id);
    char kd[64];
    std::snprintf(kd, sizeof kd, "%.3f %.3f %.3f", static_cast<double>(c[0]),
                  static_cast<double>(c[1]), static_cast<double>(c[2]));
    out << "\nnewmtl " << name << "\n# identifier " << id << "\nKa 0 0 0\nKd " << kd
        << "\nKs 0.1 0.1 0.1\nNs 20\nd 1\nillum 2\n";
  }
}

void writePly(const ResultMesh& r, const NameTable& names, std::ostream& out) {
  out << "ply\nformat ascii 1.0\ncomment tessellon result\n";
  for (const auto& [id, name] : namedIds(r, names))
    out << "comment identifier " << id << ' ' << name << '\n';
  out << "element vertex " << r.points.size()
      << "\nproperty float x\nproperty float y\nproperty float z\n";
  // uint counts: Boolean results have faces of hundreds of corners.
  out << "element face " << r.faces.size() << "\nproperty list uint int vertex_indices\n";
  out << "property int island\nproperty int face_id\n";
  if (r.hasUv()) out << "property list uint float uvw\n";
  out << "end_header\n";
  for (const auto& p : r.points) out << fmt(p[0]) << ' ' << fmt(p[1]) << ' ' << fmt(p[2]) << '\n';
  for (std::size_t f = 0; f < r.faces.size(); ++f) {
    out << r.faces[f].size();
    for (int v : r.faces[f]) out << ' ' << v;
    out << ' ' << r.islands[f] << ' ' << r.ids[f];
    if (r.hasUv()) {
      out << ' ' << r.faces[f].size() * 3;
      for (std::size_t c = r.firstCorner[f]; c < r.firstCorner[f + 1]; ++c) {
        for (int k = 0; k < 3; ++k) out << ' ' << fmt(r.uvw[c][k]);
      }
    }
    out << '\n';
  }
}

}  // namespace cli
