// The command's files below the command line: names, readers, writers and pieces.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/input_mesh.h"
#include "cli/name_table.h"
#include "cli/pieces.h"
#include "cli/result_mesh.h"
#include "cli/text_output.h"
#include "geom/error.h"
#include "geom/mesh_files.h"

namespace {

namespace fs = std::filesystem;

// The reader's one-line refusal of the file at path; empty when the reader takes the file.
std::string refusal(const std::string& path) {
  try {
    geom::readMeshFile(path);
  } catch (const geom::Error& e) {
    return e.what();
  }
  return {};
}
using cli::NameTable;

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tsl-files-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() { fs::remove_all(path_); }
  std::string write(const std::string& name, const std::string& text) const {
    const std::string p = (path_ / name).string();
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }

 private:
  fs::path path_;
};

// A record of boxes: each (lo, hi, id) adds 8 points and 6 outward quads, with UVW per corner
// (u = face index, v = corner index) and faceInfo (0, id); inward boxes are wound the other way.
struct Box {
  float lo, hi;
  std::int32_t id;
  bool inward = false;
};
cli::TopoMesh boxes(const std::vector<Box>& list) {
  static const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                  {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  cli::TopoMesh m;
  for (const Box& b : list) {
    const auto base = static_cast<std::int32_t>(m.points.size());
    for (int k = 0; k < 8; ++k)
      m.points.push_back({(k & 1) ? b.hi : b.lo, (k & 2) ? b.hi : b.lo, (k & 4) ? b.hi : b.lo});
    for (int f = 0; f < 6; ++f) {
      for (int c = 0; c < 4; ++c) {
        m.polygons.push_back(base + quads[f][b.inward ? 3 - c : c]);
        m.uvw.push_back({static_cast<float>(f), static_cast<float>(c), 0.0f});
      }
      m.polygons.push_back(-2);
      m.faceInfo.push_back({0, b.id});
    }
  }
  return m;
}

TEST(NameTable, OneIdentifierPerNameAcrossFilesAndTheInnerNameIsCut) {
  NameTable names("inside");
  geom::MeshFile a;
  a.polygons.resize(4);
  a.names = {"steel", "wood", "unused"};
  a.faceNames = {1, 0, -1, 1};
  geom::MeshFile b;
  b.polygons.resize(3);
  b.names = {"glass", "steel", "inside"};
  b.faceNames = {0, 1, 2};
  // Declared names are numbered in the file's order, used or not; the default comes after.
  EXPECT_EQ(names.faceIds(a, "a"), (std::vector<std::int32_t>{1, 0, 3, 1}));
  EXPECT_EQ(names.faceIds(b, "b"), (std::vector<std::int32_t>{4, 0, cli::kCutFaceId}));
  EXPECT_EQ(names.nameOf(2), "unused");
  EXPECT_EQ(names.nameOf(3), "a");
  EXPECT_EQ(names.nameOf(cli::kCutFaceId), "inside");
  EXPECT_EQ(names.nameOf(17), "id_17");
  EXPECT_EQ(names.toJson().dump(),
            R"({"inside":-2,"steel":0,"wood":1,"unused":2,"a":3,"glass":4})");
  // A file without names: every face under its default, numbered once.
  geom::MeshFile off;
  off.polygons.resize(2);
  EXPECT_EQ(names.faceIds(off, "bunny"), (std::vector<std::int32_t>{5, 5}));
  EXPECT_EQ(names.faceIds(off, "steel"), (std::vector<std::int32_t>{0, 0}));
  EXPECT_EQ(cli::defaultFaceName("/x/y/bunny00.off"), "bunny00");
}

TEST(ObjReader, MaterialNamesWithoutTheirLibraryGroupsOtherwiseAndRelativeIndices) {
  TempDir dir;
  // The .mtl it names does not exist: the names still come from usemtl.
  const std::string withMaterials = dir.write("m.obj",
                                              "mtllib missing.mtl\n"
                                              "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\n"
                                              "vt 0 0\nvt 1 0 0.5\nvt 0 1\n"
                                              "f 1/1 2/2 3/3\n"
                                              "usemtl  red paint \n"
                                              "g ignored\n"
                                              "f -4/1 -2/2 -3/3\n"
                                              "usemtl blue\n"
                                              "f 1/1 4/2 2/3 3/1\n");
  const geom::MeshFile m = geom::readMeshFile(withMaterials);
  EXPECT_EQ(m.names, (std::vector<std::string>{"red paint", "blue"}));
  EXPECT_EQ(m.faceNames, (std::vector<int>{-1, 0, 1}));
  ASSERT_EQ(m.polygons.size(), 3u);
  EXPECT_EQ(m.polygons[1], (std::vector<int>{0, 2, 1}));
  EXPECT_EQ(m.polygons[2].size(), 4u);
  ASSERT_EQ(m.uvw.size(), 10u);
  EXPECT_EQ(m.uvw[1], (std::array<float, 3>{1, 0, 0.5f}));

  const std::string withGroups = dir.write("g.obj",
                                           "v 0 0 0\nv 1 0 0\nv 0 1 0\n"
                                           "g top\nf 1 2 3\ng bottom\nf 1 3 2\ng top\nf 2 3 1\n");
  const geom::MeshFile g = geom::readMeshFile(withGroups);
  EXPECT_EQ(g.names, (std::vector<std::string>{"top", "bottom"}));
  EXPECT_EQ(g.faceNames, (std::vector<int>{0, 1, 0}));
  EXPECT_TRUE(g.uvw.empty());

  const std::string bad = dir.write("bad.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 7\n");
  EXPECT_NE(refusal(bad).find("face 0 refers to vertex 7"), std::string::npos)
      << "a face beyond the vertices: " << refusal(bad);
}

TEST(ObjReader, TheMaterialLibrarysOrderNumbersTheNames) {
  TempDir dir;
  dir.write("lib.mtl", "newmtl zinc\nKd 1 1 1\nnewmtl amber\nKd 1 1 1\nnewmtl never\n");
  const std::string obj =
      dir.write("lib.obj",
                "mtllib lib.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl amber\nf 1 2 3\n"
                "usemtl zinc\nf 1 3 2\n");
  const geom::MeshFile m = geom::readMeshFile(obj);
  EXPECT_EQ(m.names, (std::vector<std::string>{"zinc", "amber", "never"}));
  EXPECT_EQ(m.faceNames, (std::vector<int>{1, 0}));
}

TEST(PlyReader, IdentifiersIslandsAndUvwOfOurOwnFiles) {
  TempDir dir;
  const std::string header =
      "ply\nformat ascii 1.0\ncomment identifier -2 inside\ncomment identifier 7 brass rod\n"
      "element vertex 4\nproperty float x\nproperty float y\nproperty float z\n"
      "element face 3\nproperty list uchar int vertex_indices\nproperty int island\n"
      "property int face_id\nproperty list uint float uvw\nend_header\n"
      "0 0 0\n1 0 0\n0 1 0\n0 0 1\n";
  const std::string good = dir.write("good.ply", header +
                                                     "3 0 2 1 4 7 9 1 2 3 4 5 6 7 8 9\n"
                                                     "3 0 1 3 4 -2 9 0 0 0 0 0 0 0 0 0\n"
                                                     "3 1 2 3 5 3 9 0 0 0 0 0 0 0 0 0\n");
  const geom::MeshFile m = geom::readMeshFile(good);
  // Names in the order of their numbers; a number without a comment is its own name.
  EXPECT_EQ(m.names, (std::vector<std::string>{"inside", "3", "brass rod"}));
  EXPECT_EQ(m.faceNames, (std::vector<int>{2, 0, 1}));
  EXPECT_EQ(m.islands, (std::vector<int>{4, 4, 5}));
  ASSERT_EQ(m.uvw.size(), 9u);
  EXPECT_EQ(m.uvw[2], (std::array<float, 3>{7, 8, 9}));
  EXPECT_EQ(m.polygons[0], (std::vector<int>{0, 2, 1}));

  const std::string shortUv =
      dir.write("short.ply", header +
                                 "3 0 2 1 4 7 6 1 2 3 4 5 6\n3 0 1 3 4 -2 9 0 0 0 0 0 0 "
                                 "0 0 0\n3 1 2 3 5 3 9 0 0 0 0 0 0 0 0 0\n");
  EXPECT_NE(refusal(shortUv).find("face 0 has 6 uvw values for 3 corners"), std::string::npos)
      << refusal(shortUv);
  const std::string cut = dir.write("cut.ply", header + "3 0 2 1 4 7 9 1 2 3 4 5 6 7 8 9\n");
  EXPECT_THROW(geom::readMeshFile(cut), geom::Error);

  // Without comments: numbers are names, except -2, the mark of a face without identifier.
  const std::string plain =
      dir.write("plain.ply",
                "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n"
                "property float y\nproperty float z\nelement face 2\n"
                "property list uchar int vertex_indices\nproperty int face_id\n"
                "end_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2 -2\n3 0 2 1 5\n");
  const geom::MeshFile p = geom::readMeshFile(plain);
  EXPECT_EQ(p.names, (std::vector<std::string>{"5"}));
  EXPECT_EQ(p.faceNames, (std::vector<int>{geom::MeshFile::kCutFace, 0}));
  NameTable names("inside");
  EXPECT_EQ(names.faceIds(p, "plain"), (std::vector<std::int32_t>{cli::kCutFaceId, 0}));
  EXPECT_TRUE(p.uvw.empty());

  // A property before any element: CGAL's header reader would add it to an element that does
  // not exist (found by the fuzzer).
  const std::string early = dir.write("early.ply",
                                      "ply\nformat ascii 1.0\nproperty float x\nelement vertex 1\n"
                                      "end_header\n0\n");
  EXPECT_NE(refusal(early).find("a property comes before any element"), std::string::npos)
      << "a property before any element: " << refusal(early);

  // A count no file of this size can hold is refused before anything is allocated for it.
  const std::string huge = dir.write("huge.ply",
                                     "ply\nformat ascii 1.0\nelement vertex 0\nproperty float x\n"
                                     "property float y\nproperty float z\nelement face 1\n"
                                     "property list uint int vertex_indices\nend_header\n"
                                     "4000000000 1 2 3\n");
  EXPECT_NE(refusal(huge).find("face 0: its vertex_indices list claims 4000000000"),
            std::string::npos)
      << "a list of four billion values: " << refusal(huge);
  // Items of an element without properties take no bytes: skipped whatever their count, and a
  // face element of that kind has nothing to read a face from (found by the fuzzer: a trillion
  // empty items took minutes).
  const std::string bare =
      "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n"
      "property float y\nproperty float z\nelement extra 1000000000000\n";
  const std::string faces = "element face 1\nproperty list uchar int vertex_indices\n";
  const std::string body = "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";
  EXPECT_EQ(geom::readMeshFile(dir.write("bare.ply", bare + faces + "end_header\n" + body))
                .polygons.size(),
            1u);
  const std::string noList =
      dir.write("nolist.ply", bare + "element face 1000000000000\nend_header\n" + body);
  EXPECT_NE(refusal(noList).find("the faces have no vertex_indices list"), std::string::npos)
      << refusal(noList);
  // A second face element, this one without islands: the islands would no longer be one per
  // face (found by the fuzzer).
  const std::string twice = dir.write(
      "twice.ply", bare +
                       "element face 1\nproperty list uchar int vertex_indices\n"
                       "property int island\n" +
                       faces + "end_header\n" + body.substr(0, 18) + "3 0 1 2 7\n3 0 2 1\n");
  EXPECT_NE(refusal(twice).find("more than one face element"), std::string::npos) << refusal(twice);
}

TEST(OffReader, CountsAndIndicesAreCheckedBeforeTheyAreUsed) {
  // CGAL's own reader sized its arrays by these counts first (gigabytes and half a minute), and
  // converted a negative corner count to an unsigned one (undefined; both found by the fuzzer).
  TempDir dir;
  const std::string points = "0 0 0\n1 0 0\n0 1 0\n";
  for (const std::string header : {"OFF\n400000000 1 0\n", "OFF\n3 400000000 0\n"}) {
    const std::string why = refusal(dir.write("huge.off", header + points + "3 0 1 2\n"));
    EXPECT_NE(why.find("points and"), std::string::npos) << header << ": " << why;
  }
  EXPECT_NE(
      refusal(dir.write("word.off", "OFF\n3 1 0\n0 0 0\n1 x 0\n0 1 0\n3 0 1 2\n")).find("point 1"),
      std::string::npos);
  for (const std::string face : {"400000000 0 1 2", "-3 1 2 3", "3 0 1", "2.5 0 1 2", "3 0 1 z"}) {
    const std::string why = refusal(dir.write("face.off", "OFF\n3 1 0\n" + points + face + "\n"));
    EXPECT_NE(why.find("face 0"), std::string::npos) << face << ": " << why;
  }
  const std::string index = refusal(dir.write("index.off", "OFF\n3 1 0\n" + points + "3 0 1 3\n"));
  EXPECT_NE(index.find("face 0 refers to point 3 of 3"), std::string::npos) << index;
}

// What the header's prefixes add to a line is skipped: colours after a face's indices and a
// point's coordinates, normals; "4OFF" points are homogeneous; binary files read the same.
TEST(OffReader, TheHeadersVariantsAndBinaryFilesReadTheSamePolygons) {
  TempDir dir;
  const std::vector<std::vector<int>> faces{{0, 1, 2}, {0, 2, 3, 1}};
  const std::string tail = "3 0 1 2 255 0 0\n4 0 2 3 1\n";
  for (const std::string& text : std::vector<std::string>{
           "OFF\n4 2 0\n0 0 0\n2 0 0\n0 2 0\n2 2 0\n" + tail,
           "# made by hand\nCOFF 4 2 0\n0 0 0 1 1 1 1\n2 0 0 1 1 1 1 # a corner\n0 2 0 0 0 0 1\n"
           "2 2 0 0 0 0 1\n\n" +
               tail,
           "4OFF\n4 2 0\n0 0 0 1\n1 0 0 0.5\n0 4 0 2\n1 1 0 0.5\n" + tail,
           "4 2 0\n0 0 0\n2 0 0\n0 2 0\n2 2 0\n" + tail,
           "NOFF\n4 2 0\n0 0 0 0 0 1\n2 0 0 0 0 1\n0 2 0 0 0 1\n2 2 0 0 0 1\n" + tail}) {
    const geom::MeshFile m = geom::readMeshFile(dir.write("v.off", text));
    EXPECT_EQ(m.polygons, faces) << text;
    ASSERT_EQ(m.points.size(), 4u) << text;
    EXPECT_EQ(m.points[3].x, 2.0) << text;
    EXPECT_EQ(m.points[3].y, 2.0) << text;
  }
  std::string bin = "OFF BINARY\n";
  auto word = [&](std::uint32_t u) {
    for (int k = 3; k >= 0; --k) bin.push_back(static_cast<char>(u >> (8 * k) & 0xff));
  };
  auto real = [&](float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    word(u);
  };
  for (std::uint32_t c : {4u, 2u, 0u}) word(c);
  for (float c : {0.f, 0.f, 0.f, 2.f, 0.f, 0.f, 0.f, 2.f, 0.f, 2.f, 2.f, 0.f}) real(c);
  for (std::uint32_t c : {3u, 0u, 1u, 2u, 0u, 4u, 0u, 2u, 3u, 1u, 0u}) word(c);
  const geom::MeshFile b = geom::readMeshFile(dir.write("b.off", bin));
  EXPECT_EQ(b.polygons, faces);
  EXPECT_EQ(b.points[3].y, 2.0);
  bin.resize(bin.size() - 6);
  EXPECT_NE(refusal(dir.write("cut.off", bin)).find("face 1"), std::string::npos);
}

// What one run writes, the next reads as it was: the text formats through the real readers.
TEST(TextFormats, ObjAndPlyReadBackWithTheirNamesUvsAndFaces) {
  TempDir dir;
  NameTable names("cut");
  names.idOf("paint");
  names.idOf("spare");  // declared by an input, used by no face of the result
  const cli::ResultMesh r =
      cli::makeResult(boxes({{0, 1, 0}, {2, 3, cli::kCutFaceId}}), cli::PieceMode::Solids);
  std::ostringstream obj, mtl, ply;
  cli::writeObj(r, names, "r.mtl", obj);
  cli::writeMtl(r, names, mtl);
  cli::writePly(r, names, ply);
  for (const auto& [path, text] : {std::pair{dir.write("r.obj", obj.str()), obj.str()},
                                   std::pair{dir.write("r.ply", ply.str()), ply.str()}}) {
    SCOPED_TRACE(path);
    dir.write("r.mtl", mtl.str());
    NameTable again("cut");
    const cli::InputMesh in = cli::readInput(path, again, /*projectUv=*/true);
    EXPECT_EQ(again.toJson(), names.toJson());
    ASSERT_EQ(in.file.polygons.size(), 12u);
    std::vector<std::int32_t> want(6, 0);
    want.resize(12, cli::kCutFaceId);
    EXPECT_EQ(in.ids, want);
    ASSERT_EQ(in.file.uvw.size(), r.uvw.size());
    EXPECT_EQ(in.file.uvw, r.uvw);
    for (std::size_t f = 0; f < 12; ++f) EXPECT_EQ(in.file.polygons[f], r.faces[f]);
  }
  EXPECT_NE(obj.str().find("o piece_1\nusemtl cut\n"), std::string::npos) << obj.str();
  EXPECT_NE(mtl.str().find("newmtl spare"), std::string::npos);
}

TEST(BoxUv, EveryCornerGetsTheCoordinatesAcrossItsFacesAxis) {
  geom::MeshFile m;
  m.points = {{0, 0, 5}, {2, 0, 5}, {2, 3, 5}, {7, 1, 0}, {7, 1, 4}, {7, 6, 4}};
  m.polygons = {{0, 1, 2}, {3, 5, 4}};
  const auto uv = cli::boxUv(m);
  ASSERT_EQ(uv.size(), 6u);
  // A face facing +z keeps x and y; a face facing -x keeps y and z in its uv (z as u).
  EXPECT_EQ(uv[1], (std::array<float, 3>{2, 0, 0}));
  EXPECT_EQ(uv[2], (std::array<float, 3>{2, 3, 0}));
  EXPECT_FLOAT_EQ(std::abs(uv[5][0]), 4);
  EXPECT_FLOAT_EQ(uv[5][1], 1);
}

TEST(Pieces, ACavityGoesWithTheSolidAroundIt) {
  // A hollow box (inward box inside), a separate box, and an inward box that nothing encloses.
  const cli::TopoMesh m =
      boxes({{0, 10, 0}, {20, 21, 0}, {2, 3, 0, true}, {30, 31, 0, true}, {5, 6, 0, true}});
  const cli::Pieces solids = cli::findPieces(m, cli::PieceMode::Solids);
  EXPECT_EQ(solids.count, 3u);
  auto pieceOfBox = [](const cli::Pieces& p, int box) { return p.ofFace[6 * box]; };
  EXPECT_EQ(pieceOfBox(solids, 2), pieceOfBox(solids, 0));
  EXPECT_EQ(pieceOfBox(solids, 4), pieceOfBox(solids, 0));
  EXPECT_NE(pieceOfBox(solids, 1), pieceOfBox(solids, 0));
  EXPECT_NE(pieceOfBox(solids, 3), pieceOfBox(solids, 0));
  EXPECT_NE(pieceOfBox(solids, 3), pieceOfBox(solids, 1));
  EXPECT_EQ(cli::findPieces(m, cli::PieceMode::Islands).count, 5u);

  // Nested solids: the cavity joins the smallest solid that encloses it.
  const cli::TopoMesh nested = boxes({{0, 10, 0}, {1, 9, 0, true}, {2, 8, 0}, {3, 4, 0, true}});
  const cli::Pieces n = cli::findPieces(nested, cli::PieceMode::Solids);
  EXPECT_EQ(n.count, 2u);
  EXPECT_EQ(pieceOfBox(n, 1), pieceOfBox(n, 0));
  EXPECT_EQ(pieceOfBox(n, 3), pieceOfBox(n, 2));
}

}  // namespace
