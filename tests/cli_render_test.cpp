// Triangles, normals, glTF and pictures of a result.
#include <gtest/gtest.h>
#include <png.h>
#include <tiny_gltf.h>

#include <cmath>
#include <set>
#include <sstream>

#include "cli/gltf_output.h"
#include "cli/name_table.h"
#include "cli/png_file.h"
#include "cli/preview.h"
#include "cli/raster.h"
#include "cli/result_mesh.h"
#include "cli/shading.h"

namespace {

// A box record from lo to hi, UVW (face, corner, 0) per corner, identifier id on every face, or
// on the first three faces and the cut-face identifier on the rest when half is set.
cli::TopoMesh box(float lo, float hi, std::int32_t id, bool half = false) {
  static const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                  {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  cli::TopoMesh m;
  for (int k = 0; k < 8; ++k)
    m.points.push_back({(k & 1) ? hi : lo, (k & 2) ? hi : lo, (k & 4) ? hi : lo});
  for (int f = 0; f < 6; ++f) {
    for (int c = 0; c < 4; ++c) {
      m.polygons.push_back(quads[f][c]);
      m.uvw.push_back({static_cast<float>(f) / 8, static_cast<float>(c) / 8, 0});
    }
    m.polygons.push_back(-2);
    m.faceInfo.push_back({0, half && f >= 3 ? cli::kCutFaceId : id});
  }
  return m;
}

cli::TopoMesh merged(const cli::TopoMesh& a, const cli::TopoMesh& b) {
  cli::TopoMesh m = a;
  const auto base = static_cast<std::int32_t>(a.points.size());
  m.points.insert(m.points.end(), b.points.begin(), b.points.end());
  for (std::int32_t v : b.polygons) m.polygons.push_back(v == -2 ? -2 : v + base);
  m.uvw.insert(m.uvw.end(), b.uvw.begin(), b.uvw.end());
  m.faceInfo.insert(m.faceInfo.end(), b.faceInfo.begin(), b.faceInfo.end());
  return m;
}

// A closed fan "cone" of n sides: neighbouring side faces meet at a shallow angle.
cli::TopoMesh cone(int n) {
  cli::TopoMesh m;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * 3.14159265358979 * i / n;
    m.points.push_back({static_cast<float>(std::cos(a)), 0, static_cast<float>(std::sin(a))});
  }
  m.points.push_back({0, 1, 0});
  for (int i = 0; i < n; ++i) m.polygons.insert(m.polygons.end(), {(i + 1) % n, i, n, -2});
  for (int i = 0; i < n; ++i) m.polygons.push_back(i);
  m.polygons.push_back(-2);
  m.faceInfo.assign(static_cast<std::size_t>(n + 1), {0, 0});
  return m;
}

std::set<std::tuple<double, double, double>> distinctNormals(const cli::Shading& s) {
  std::set<std::tuple<double, double, double>> out;
  for (const auto& n : s.cornerNormals)
    out.insert({std::round(n.x * 1e6), std::round(n.y * 1e6), std::round(n.z * 1e6)});
  return out;
}

TEST(Shading, NormalsSplitAtSharpEdgesOnly) {
  const cli::ResultMesh cube = cli::makeResult(box(0, 1, 0), cli::PieceMode::Solids);
  const cli::Shading flat = cli::shade(cube, 0);
  EXPECT_EQ(distinctNormals(flat).size(), 6u);
  // A cube's edges are 90 degrees: sharper than 30, so still six flat normals; at 100 degrees
  // every corner's three faces share one normal, pointing out along the diagonal.
  EXPECT_EQ(distinctNormals(cli::shade(cube, 30)).size(), 6u);
  const cli::Shading round = cli::shade(cube, 100);
  EXPECT_EQ(distinctNormals(round).size(), 8u);
  for (std::size_t c = 0; c < round.cornerNormals.size(); ++c)
    EXPECT_NEAR(std::abs(round.cornerNormals[c].x), 1 / std::sqrt(3.0), 1e-9);
  for (const auto& tris : flat.triangles) EXPECT_EQ(tris.size(), 2u);

  // A 24-sided cone: its sides meet at 15 degrees and go smooth at 30, the base stays flat.
  const cli::ResultMesh c = cli::makeResult(cone(24), cli::PieceMode::Solids);
  const cli::Shading smooth = cli::shade(c, 30);
  const cli::Shading faceted = cli::shade(c, 0);
  EXPECT_EQ(distinctNormals(faceted).size(), 25u);
  const auto& base = smooth.cornerNormals[c.firstCorner[24]];
  EXPECT_NEAR(base.y, -1, 1e-9);
  // A side face's two base corners differ in smooth shading and not in flat shading.
  EXPECT_GT(geom::length(smooth.cornerNormals[0] - smooth.cornerNormals[1]), 0.1);
  EXPECT_EQ(faceted.cornerNormals[0], faceted.cornerNormals[1]);

  // A corner that is not finite (a pass-through of a broken mesh): its faces are not drawn.
  cli::TopoMesh broken = box(0, 1, 0);
  broken.points[0][1] = std::nanf("");
  const cli::Shading b = cli::shade(cli::makeResult(broken, cli::PieceMode::Islands), 30);
  std::size_t drawn = 0;
  for (const auto& t : b.triangles) drawn += !t.empty();
  EXPECT_EQ(drawn, 3u);
}

tinygltf::Model loadGlb(const std::string& bytes) {
  tinygltf::Model m;
  tinygltf::TinyGLTF loader;
  std::string err, warn;
  EXPECT_TRUE(loader.LoadBinaryFromMemory(&m, &err, &warn,
                                          reinterpret_cast<const unsigned char*>(bytes.data()),
                                          static_cast<unsigned>(bytes.size())))
      << err;
  return m;
}

template <class T>
std::vector<T> values(const tinygltf::Model& m, int accessor) {
  const auto& a = m.accessors[static_cast<std::size_t>(accessor)];
  const auto& v = m.bufferViews[static_cast<std::size_t>(a.bufferView)];
  const int n = tinygltf::GetNumComponentsInType(static_cast<std::uint32_t>(a.type));
  std::vector<T> out(a.count * static_cast<std::size_t>(n));
  std::memcpy(out.data(), m.buffers[0].data.data() + v.byteOffset + a.byteOffset,
              out.size() * sizeof(T));
  return out;
}

TEST(Glb, APieceANodeAnIdentifierAPrimitiveAndItsMaterial) {
  cli::NameTable names("inside");
  names.idOf("oak");
  names.idOf("iron\xA0\xC3\xA9");  // a stray byte (Latin-1), then a well-formed é
  const cli::ResultMesh r =
      cli::makeResult(merged(box(0, 1, 0, true), box(3, 4, 1)), cli::PieceMode::Solids);
  std::ostringstream out;
  cli::writeGlb(r, names, 0, {}, out);
  const tinygltf::Model m = loadGlb(out.str());
  ASSERT_EQ(m.nodes.size(), 2u);
  EXPECT_EQ(m.nodes[0].name, "piece_0");
  EXPECT_EQ(m.nodes[1].name, "piece_1");
  EXPECT_EQ(m.scenes.at(0).nodes, (std::vector<int>{0, 1}));
  ASSERT_EQ(m.meshes.size(), 2u);
  ASSERT_EQ(m.meshes[0].primitives.size(), 2u);
  ASSERT_EQ(m.meshes[1].primitives.size(), 1u);
  std::set<std::string> materials;
  for (const auto& mat : m.materials) materials.insert(mat.name);
  // JSON must be UTF-8: the stray byte becomes U+FFFD, the rest stays.
  EXPECT_EQ(materials, (std::set<std::string>{"oak", "inside", "iron\xEF\xBF\xBD\xC3\xA9"}));

  for (const auto& mesh : m.meshes) {
    for (const auto& p : mesh.primitives) {
      const std::string material = m.materials[static_cast<std::size_t>(p.material)].name;
      SCOPED_TRACE(mesh.name + " " + material);
      const auto ids = values<float>(m, p.attributes.at("_FACE_ID"));
      const auto uv = values<float>(m, p.attributes.at("TEXCOORD_0"));
      const auto normals = values<float>(m, p.attributes.at("NORMAL"));
      const auto pos = values<float>(m, p.attributes.at("POSITION"));
      const auto idx = values<std::uint32_t>(m, p.indices);
      ASSERT_EQ(idx.size() % 3, 0u);
      // Flat normals: the cube's 24 corners are 24 vertices, whatever the primitive.
      EXPECT_EQ(ids.size(), 24u);
      const float want = material == "inside" ? -2.0f : material == "oak" ? 0.0f : 1.0f;
      for (std::uint32_t i : idx) {
        ASSERT_LT(i, ids.size());
        EXPECT_EQ(ids[i], want);
        // glTF's v runs down the texture: 1 - v of the UVW, whose v is corner / 8.
        const float v = 1 - uv[2 * i + 1];
        EXPECT_NEAR(v * 8, std::round(v * 8), 1e-5);
        EXPECT_LE(v, 3.0f / 8);
        const double len = std::hypot(normals[3 * i], normals[3 * i + 1], normals[3 * i + 2]);
        EXPECT_NEAR(len, 1.0, 1e-6);
      }
      // Two triangles per quad: three faces per primitive in the half-cut box, six otherwise.
      EXPECT_EQ(idx.size(), mesh.name == "piece_0" ? 18u : 36u);
      const auto& acc = m.accessors[static_cast<std::size_t>(p.attributes.at("POSITION"))];
      const float lo = mesh.name == "piece_0" ? 0 : 3;
      EXPECT_EQ(acc.minValues, (std::vector<double>{lo, lo, lo}));
      EXPECT_EQ(acc.maxValues, (std::vector<double>{lo + 1, lo + 1, lo + 1}));
      EXPECT_EQ(pos.size(), 72u);
    }
  }
}

TEST(Raster, NearerTrianglesWinAndWeightsAreBarycentric) {
  cli::Frame f(40, 40);
  // Far triangle covering the frame, then a nearer one over its left half.
  f.draw(0, {-1, -1, 0.5, 1}, {3, -1, 0.5, 1}, {-1, 3, 0.5, 1});
  f.draw(1, {-1, -1, -0.5, 1}, {0, -1, -0.5, 1}, {-1, 3, -0.5, 1});
  f.draw(2, {-1, -1, 0.9, 1}, {3, -1, 0.9, 1}, {-1, 3, 0.9, 1});  // behind both
  EXPECT_EQ(f.triangle(2, 20), 1);
  EXPECT_EQ(f.triangle(35, 20), 0);
  EXPECT_FLOAT_EQ(f.depth(35, 20), 0.5f);
  // Pixel (30, 30): centre at NDC (0.525, -0.525), weights of corners 1 and 2 of triangle 0.
  const auto w = f.weights(30, 30);
  EXPECT_NEAR(w[0], (0.525 + 1) / 4, 1e-6);
  EXPECT_NEAR(w[1], (-0.525 + 1) / 4, 1e-6);
  // Behind the camera: nothing drawn.
  cli::Frame g(8, 8);
  g.draw(0, {-1, -1, 0, -1}, {1, -1, 0, 1}, {0, 1, 0, 1});
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(g.triangle(x, y), -1);
}

// Decodes a PNG with libpng's simplified interface: width, height, RGB bytes.
cli::Picture decodePng(const std::string& bytes) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  EXPECT_TRUE(png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()));
  image.format = PNG_FORMAT_RGB;
  cli::Picture p;
  p.width = static_cast<int>(image.width);
  p.height = static_cast<int>(image.height);
  p.rgb.resize(PNG_IMAGE_SIZE(image));
  EXPECT_TRUE(png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr));
  return p;
}

double brightness(const cli::Picture& p, int x0, int y0, int x1, int y1) {
  double sum = 0;
  int n = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x, ++n) {
      for (int k = 0; k < 3; ++k)
        sum += p.rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(p.width) +
                      static_cast<std::size_t>(x)) *
                         3 +
                     static_cast<std::size_t>(k)];
    }
  }
  return sum / (3.0 * n);
}

bool isBackground(const cli::Picture& p, int x, int y) {
  const auto* c = &p.rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(p.width) +
                          static_cast<std::size_t>(x)) *
                         3];
  // The background is a pale, nearly grey gradient.
  return c[0] > 200 && c[1] > 200 && c[2] > 200 && std::abs(c[0] - c[2]) < 25;
}

TEST(Preview, TheResultFillsTheMiddleOfAPictureOfTheAskedSize) {
  const cli::ResultMesh r = cli::makeResult(box(-1, 1, 0), cli::PieceMode::Solids);
  cli::PreviewOptions o;
  o.width = 160;
  o.height = 120;
  std::ostringstream png;
  cli::writePng(cli::renderPreview(r, o), png);
  const cli::Picture p = decodePng(png.str());
  ASSERT_EQ(p.width, 160);
  ASSERT_EQ(p.height, 120);
  // The middle shows the cube, the corners the background; the cube reaches towards the
  // picture's sides (the camera is fitted to it).
  int covered = 0;
  for (int y = 50; y < 70; ++y)
    for (int x = 70; x < 90; ++x) covered += !isBackground(p, x, y);
  EXPECT_EQ(covered, 400);
  for (auto [x, y] : {std::pair{1, 1}, {158, 1}, {1, 118}, {158, 118}})
    EXPECT_TRUE(isBackground(p, x, y)) << x << "," << y;
  int left = 160, right = 0;
  for (int x = 0; x < 160; ++x) {
    if (!isBackground(p, x, 60)) left = std::min(left, x), right = std::max(right, x);
  }
  EXPECT_LT(left, 60);
  EXPECT_GT(right, 100);

  // An empty result: the background alone, no failure.
  const cli::Picture empty = cli::renderPreview(cli::ResultMesh{cli::makeResult({}, {})}, o);
  EXPECT_TRUE(isBackground(empty, 80, 60));
}

TEST(Preview, CutFacesAreLighterThanTheSameFacesUncut) {
  cli::PreviewOptions o;
  o.width = 120;
  o.height = 90;
  const cli::Picture plain =
      cli::renderPreview(cli::makeResult(box(-1, 1, 3), cli::PieceMode::Solids), o);
  const cli::Picture cut =
      cli::renderPreview(cli::makeResult(box(-1, 1, cli::kCutFaceId), cli::PieceMode::Solids), o);
  EXPECT_GT(brightness(cut, 45, 35, 75, 55), brightness(plain, 45, 35, 75, 55) + 20);
}

TEST(Preview, PiecesHaveTheirOwnColours) {
  cli::PreviewOptions o;
  o.width = 200;
  o.height = 150;
  auto hues = [&](const cli::TopoMesh& m) {
    const cli::Picture p = cli::renderPreview(cli::makeResult(m, cli::PieceMode::Solids), o);
    // Saturated pixels (not the grey background or shadow) by hue, in twelve bins.
    std::array<int, 12> bins{};
    int total = 0;
    for (std::size_t i = 0; i + 2 < p.rgb.size(); i += 3) {
      const int r = p.rgb[i], g = p.rgb[i + 1], b = p.rgb[i + 2];
      if (std::max({r, g, b}) - std::min({r, g, b}) < 40) continue;
      const double hue = std::atan2(std::sqrt(3.0) * (g - b), 2.0 * r - g - b);
      ++bins[static_cast<std::size_t>(std::floor((hue + M_PI) / (2 * M_PI) * 12)) % 12];
      ++total;
    }
    int strong = 0;
    for (int n : bins) strong += n > total / 10;
    return strong;
  };
  EXPECT_EQ(hues(box(-1, 1, 0)), 1);
  EXPECT_GE(hues(merged(box(-3, -1, 0), box(1, 3, 0))), 2);
}

}  // namespace
