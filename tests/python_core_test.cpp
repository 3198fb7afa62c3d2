// The Python module's conversions and in-memory runs, without Python: arrays as the buffer
// protocol describes them, meshes to and from the host's arrays, and a verb run over a
// MemoryIo that must give what the command gives on the same file.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "cli/input_mesh.h"
#include "cli/number_rows.h"
#include "cli/verbs.h"
#include "python/array_view.h"
#include "python/memory_io.h"
#include "python/py_mesh.h"

namespace {

using tslpy::ArrayView;
using tslpy::ConversionError;

template <class T>
ArrayView viewOf(const std::string& name, const std::vector<T>& data,
                 std::vector<std::ptrdiff_t> shape, char kind) {
  ArrayView v;
  v.name = name;
  v.data = data.data();
  v.kind = kind;
  v.itemSize = sizeof(T);
  v.shape = shape;
  std::ptrdiff_t step = sizeof(T);
  v.strides.assign(shape.size(), 0);
  for (std::size_t d = shape.size(); d-- > 0;) {
    v.strides[d] = step;
    step *= shape[d];
  }
  return v;
}

std::string messageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ConversionError& e) {
    return e.what();
  }
  return "(nothing thrown)";
}

TEST(PythonArrays, ShapesKindsAndValuesAreCheckedWithTheArgumentsName) {
  const std::vector<double> six{0, 1, 2, 3, 4, 5};
  EXPECT_EQ(messageOf([&] {
              tslpy::readRows3(viewOf("points", six, {3, 2}, 'f'));
            }),
            "points: expected an array of shape (N, 3), got shape (3, 2)");
  EXPECT_EQ(messageOf([&] { tslpy::readRows3(viewOf("points", six, {6}, 'f')); }),
            "points: expected an array of shape (N, 3), got shape (6,)");
  const std::vector<std::int32_t> ints{0, 1, 2};
  EXPECT_NE(messageOf([&] {
              tslpy::readRows3(viewOf("points", ints, {1, 3}, 'i'));
            }).find("points: expected an array of floating-point numbers"),
            std::string::npos);
  std::vector<double> nan = six;
  nan[4] = std::nan("");
  EXPECT_EQ(messageOf([&] {
              tslpy::readRows3(viewOf("points", nan, {2, 3}, 'f'));
            }),
            "points: row 1 is not finite");
  const std::vector<double> huge{1e300, 0, 0};
  EXPECT_EQ(messageOf([&] {
              tslpy::readFloatRows3(viewOf("uvw", huge, {1, 3}, 'f'));
            }),
            "uvw: row 0 does not fit in float");
  const std::vector<std::int64_t> idx{0, 5, -1};
  EXPECT_EQ(messageOf([&] { tslpy::readIntegers(viewOf("indices", idx, {3}, 'i'), 0, 9); }),
            "indices: element 2 is -1, outside 0 to 9");
  const std::vector<double> half{0, 1.5};
  EXPECT_EQ(messageOf([&] { tslpy::readIntegers(viewOf("ids", half, {2}, 'f'), 0, 9); }),
            "ids: element 1 is not an integer");
  const std::vector<std::uint64_t> big{std::numeric_limits<std::uint64_t>::max()};
  EXPECT_EQ(messageOf([&] { tslpy::readIntegers(viewOf("ids", big, {1}, 'u'), 0, 9); }),
            "ids: element 0 is not an integer");
  const std::vector<double> five{1, 2, 3, 4, 5};
  EXPECT_EQ(messageOf([&] {
              tslpy::readRows(viewOf("instances", five, {1, 5}, 'f'), {3, 7});
            }),
            "instances: expected an array of shape (N, 3) or (N, 7), got shape (1, 5)");
}

TEST(PythonArrays, StridedAndNarrowArraysReadAsTheirValues) {
  // Every other row of a (4, 3) float32 array, and a column of an int16 matrix read backwards:
  // the values, not the bytes next to them.
  const std::vector<float> rows{0, 1, 2, 9, 9, 9, 3, 4, 5, 9, 9, 9};
  ArrayView v = viewOf("points", rows, {2, 3}, 'f');
  v.strides = {24, 4};
  const auto r = tslpy::readRows3(v);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[1][0], 3.0);
  EXPECT_EQ(r[1][2], 5.0);
  const std::vector<std::int16_t> m{7, -1, 8, -1, 9, -1};
  ArrayView c = viewOf("indices", m, {3}, 'i');
  c.data = &m[4];
  c.strides = {-4};
  EXPECT_EQ(tslpy::readIntegers(c, 0, 9), (std::vector<std::int64_t>{9, 8, 7}));
  const std::vector<std::uint8_t> bytes{200, 3};
  EXPECT_EQ(tslpy::readIntegers(viewOf("ids", bytes, {2}, 'u'), 0, 255),
            (std::vector<std::int64_t>{200, 3}));
}

// A unit square pyramid: four triangles and a quad, names for two identifiers.
tslpy::Mesh pyramid() {
  const std::vector<double> pts{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0.5, 0.5, 1};
  const std::vector<std::int64_t> offsets{0, 4, 7, 10, 13, 16};
  const std::vector<std::int32_t> corners{0, 3, 2, 1, 0, 1, 4, 1, 2, 4, 2, 3, 4, 3, 0, 4};
  const std::vector<std::int32_t> ids{7, 3, 3, -2, 3};
  tslpy::MeshViews v;
  v.points = viewOf("points", pts, {5, 3}, 'f');
  v.offsets = viewOf("offsets", offsets, {6}, 'i');
  v.indices = viewOf("indices", corners, {16}, 'i');
  v.ids = viewOf("ids", ids, {5}, 'i');
  v.names = {{3, "stone"}};
  v.name = "pyramid";
  return tslpy::makeMesh(v);
}

TEST(PythonMesh, FacesAndOffsetsAreChecked) {
  const std::vector<double> pts{0, 0, 0, 1, 0, 0, 0, 1, 0};
  tslpy::MeshViews v;
  v.points = viewOf("points", pts, {3, 3}, 'f');
  v.faces = {{0, 1, 3}};
  EXPECT_EQ(messageOf([&] { tslpy::makeMesh(v); }), "faces: face 0 has index 3, outside 0 to 2");
  v.faces = {{0, 1, 2}, {0, 1}};
  EXPECT_EQ(messageOf([&] { tslpy::makeMesh(v); }),
            "face 1 has 2 corners; a face needs at least 3");
  v.faces.clear();
  const std::vector<std::int64_t> offsets{0, 2};
  const std::vector<std::int32_t> corners{0, 1, 2};
  v.offsets = viewOf("offsets", offsets, {2}, 'i');
  v.indices = viewOf("indices", corners, {3}, 'i');
  EXPECT_EQ(messageOf([&] { tslpy::makeMesh(v); }),
            "offsets: must start at 0 and end at the number of indices (3)");
  const std::vector<std::int64_t> good{0, 3};
  v.offsets = viewOf("offsets", good, {2}, 'i');
  const std::vector<float> uvw{0, 0, 0};
  v.uvw = viewOf("uvw", uvw, {1, 3}, 'f');
  EXPECT_EQ(messageOf([&] { tslpy::makeMesh(v); }),
            "uvw: 1 rows for 3 corners; give one per corner");
  v.uvw.reset();
  v.names = {{0, "two\nlines"}};
  EXPECT_NE(messageOf([&] { tslpy::makeMesh(v); }).find("one non-empty line"), std::string::npos);
}

TEST(PythonMesh, HostArraysMatchTheMeshFilesOnesIdentifiersIncluded) {
  // The one-pass conversion must number identifiers exactly as the command numbers the file
  // the mesh stands for, for every shape of names: named, unnamed (by number), cut, none.
  tslpy::Mesh m = pyramid();
  for (int variant = 0; variant < 3; ++variant) {
    if (variant == 1) m.ids.clear();
    if (variant == 2) m.uvw.assign(m.indices.size(), {0.25f, 0.5f, 0.0f});
    cli::NameTable fast("inside"), slow("inside");
    fast.idOf("other");
    slow.idOf("other");
    const cli::HostArrays a = tslpy::toHostArrays(m, fast, true);
    const cli::HostArrays b = cli::toHostArrays(tslpy::toInputMesh(m, slow, true));
    EXPECT_EQ(a.description, b.description);
    EXPECT_EQ(a.faceIds, b.faceIds);
    ASSERT_EQ(a.uvw.size(), b.uvw.size());
    for (std::size_t i = 0; i < a.uvw.size(); ++i) EXPECT_EQ(a.uvw[i], b.uvw[i]);
    EXPECT_EQ(fast.toJson(), slow.toJson());
    if (variant == 0) {
      // stone first (named), then 7 by its number; the cut face stays -2.
      EXPECT_EQ(a.faceIds, (std::vector<std::int32_t>{2, 1, 1, -2, 1}));
      EXPECT_EQ(fast.nameOf(2), "7");
    }
    if (variant == 1) {
      EXPECT_EQ(fast.nameOf(a.faceIds[0]), "pyramid");
    }
  }
}

TEST(PythonMesh, AFileRoundTripsThroughTheMeshAndTheRecord) {
  const auto dir = std::filesystem::temp_directory_path() / "tsl_python_core_test";
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "boxes.obj").string();
  std::ofstream(path) << "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nvt 0 0\nvt 1 0\nvt 1 1\n"
                         "usemtl glass\nf 1/1 2/2 3/3\nusemtl steel\nf 1/1 3/3 4/2\n"
                         "usemtl glass\nf 1/1 4/2 5/3 2/1\n";
  const geom::MeshFile file = geom::readMeshFile(path);
  const tslpy::Mesh m = tslpy::fromMeshFile(file, "boxes", "inside");
  EXPECT_EQ(m.ids, (std::vector<std::int32_t>{0, 1, 0}));
  EXPECT_EQ(m.names.at(1), "steel");
  EXPECT_EQ(m.offsets, (std::vector<std::int64_t>{0, 3, 6, 10}));
  ASSERT_EQ(m.uvw.size(), 10u);
  EXPECT_EQ(m.uvw[1][0], 1.0f);
  // Through a fresh table the mesh gives the command's identifiers of the file.
  cli::NameTable ours("inside"), command("inside");
  EXPECT_EQ(tslpy::toHostArrays(m, ours, false).faceIds,
            cli::toHostArrays(cli::readInput(path, command, false)).faceIds);
  // As a record and back: the same faces, identifiers and UVs; islands by connection.
  const cli::TopoMesh t = tslpy::toRecord(m);
  ASSERT_EQ(t.faceInfo.size(), 3u);
  EXPECT_EQ(t.faceInfo[2][1], 0);
  const tslpy::Mesh back = tslpy::fromRecord(t, ours);
  EXPECT_EQ(back.indices, m.indices);
  EXPECT_EQ(back.offsets, m.offsets);
  EXPECT_EQ(back.ids, m.ids);
  EXPECT_EQ(back.uvw, m.uvw);
  std::filesystem::remove_all(dir);
}

TEST(PythonMesh, PiecesKeepTheirFacesPointsAndUvs) {
  // Two separate triangles: two pieces, each with its own three points in first-use order.
  cli::TopoMesh t;
  t.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 0, 0}, {6, 0, 0}, {5, 1, 0}};
  t.polygons = {3, 4, 5, -2, 0, 1, 2, -2};
  t.uvw = {{3, 0, 0}, {4, 0, 0}, {5, 0, 0}, {0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
  t.faceInfo = {{0, 4}, {1, -2}};
  const cli::ResultMesh r = cli::makeResult(t, cli::PieceMode::Islands);
  cli::NameTable names("inside");
  const auto pieces = tslpy::pieceMeshes(r, names);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].points[0].x, 5.0);
  EXPECT_EQ(pieces[0].indices, (std::vector<std::int32_t>{0, 1, 2}));
  EXPECT_EQ(pieces[0].uvw[2][0], 5.0f);
  EXPECT_EQ(pieces[1].ids, (std::vector<std::int32_t>{-2}));
  EXPECT_EQ(pieces[1].points[1].x, 1.0);
  EXPECT_EQ(pieces[1].name, "piece_1");
}

TEST(PythonRun, AVerbOverMemoryGivesTheCommandsResultAndRowsReadBackExactly) {
  const std::string cube = std::string(TSL_EXAMPLES) + "/two_boxes.obj";
  const std::string plugins = TSL_PLUGIN_DIR;
  const tslpy::Mesh m = tslpy::fromMeshFile(geom::readMeshFile(cube), "two_boxes", "inside");
  const std::vector<std::vector<double>> centres{
      {0.1, 0.2, 0.3}, {0.7, 0.3, 0.5}, {1.0 / 3.0, 0.9, 0.1 + 0.2}};

  auto runWith = [&](cli::VerbIo& io, const std::string& mesh, const std::string& rows) {
    CLI::App app;
    const cli::Verb verb = cli::addVoronoi(app);
    std::vector<std::string> line{"t", "voronoi", mesh, "--centers", rows, "--quiet"};
    std::vector<const char*> argv;
    for (const auto& s : line) argv.push_back(s.c_str());
    app.parse(static_cast<int>(argv.size()), argv.data());
    return verb.run(io);
  };
  std::istringstream text(tslpy::rowsText(centres));
  std::vector<std::vector<double>> readBack;
  cli::forEachNumberRow<double>(text, "rows", "numbers",
                                [&](int, std::vector<double>& row) { readBack.push_back(row); });
  EXPECT_EQ(readBack, centres);

  tslpy::MemoryIo memory(
      plugins, [] { return false; }, true);
  memory.addMesh("<mesh>", m);
  memory.addText("<centres>", tslpy::rowsText(centres));
  EXPECT_EQ(runWith(memory, "<mesh>", "<centres>"), 0);
  tslpy::Capture& c = memory.capture();
  ASSERT_TRUE(c.reported);
  ASSERT_TRUE(c.manifest.has_value());

  // The command's own run on the file, its captured record through a second MemoryIo that
  // reads files (nothing registered), so both come from the same report.
  const auto dir = std::filesystem::temp_directory_path() / "tsl_python_run_test";
  std::filesystem::create_directories(dir);
  const std::string rows = (dir / "c.txt").string();
  std::ofstream(rows) << tslpy::rowsText(centres);
  tslpy::MemoryIo files(
      plugins, [] { return false; }, false);
  EXPECT_EQ(runWith(files, cube, rows), 0);
  const cli::TopoMesh& a = c.evaluation.mesh;
  const cli::TopoMesh& b = files.capture().evaluation.mesh;
  EXPECT_EQ(a.points, b.points);
  EXPECT_EQ(a.polygons, b.polygons);
  EXPECT_EQ(a.uvw, b.uvw);
  EXPECT_EQ(a.faceInfo, b.faceInfo);
  EXPECT_FALSE(files.capture().manifest.has_value());
  EXPECT_EQ(c.summary()["pieces"], files.capture().summary()["pieces"]);
  std::filesystem::remove_all(dir);
}

}  // namespace
