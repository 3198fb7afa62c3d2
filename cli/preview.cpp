#include "cli/preview.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "cli/name_table.h"
#include "cli/palette.h"
#include "cli/raster.h"
#include "cli/shading.h"

namespace cli {
namespace {

using geom::Vec3;

Vec3 normalized(const Vec3& v) {
  const double l = geom::length(v);
  return l > 0 ? v * (1.0 / l) : Vec3{0, 1, 0};
}

// A camera or light frame: clip coordinates of a world point.
struct View {
  Vec3 eye, right, up, back;       // orthonormal; the view looks along -back
  double focal = 1, aspect = 1;    // perspective: 1 / tan(fov / 2)
  double nearZ = 0.1, farZ = 100;  // distances along -back
  bool orthographic = false;
  double halfSize = 1;  // orthographic: half the width of the view

  Clip clip(const Vec3& p) const {
    const Vec3 d = p - eye;
    const double x = geom::dot(d, right), y = geom::dot(d, up), z = -geom::dot(d, back);
    if (orthographic) return {x / halfSize, y / halfSize, 2 * (z - nearZ) / (farZ - nearZ) - 1, 1};
    // The usual perspective depth: NDC z runs from -1 at nearZ to 1 at farZ and, unlike z
    // itself, is affine across the screen, so the rasterizer may interpolate it linearly.
    const double zc = (farZ + nearZ) / (farZ - nearZ) * z - 2 * farZ * nearZ / (farZ - nearZ);
    return {x * focal / aspect, y * focal, zc, z};
  }
};

struct Triangle {
  std::array<Vec3, 3> p, n;
  Rgb colour;
  int piece;
};

std::vector<Triangle> trianglesOf(const ResultMesh& r, const Shading& s) {
  std::vector<Triangle> out;
  const bool byId = r.pieces.count == 1;
  for (std::size_t f = 0; f < r.faces.size(); ++f) {
    const int piece = r.pieces.ofFace[f];
    Rgb colour =
        byId ? identifierColour(r.ids[f] == kCutFaceId ? 0 : r.ids[f]) : pieceColour(piece);
    if (r.ids[f] == kCutFaceId) colour = lighter(colour, 0.55f);
    for (const auto& t : s.triangles[f]) {
      Triangle tri{{}, {}, colour, piece};
      for (int k = 0; k < 3; ++k) {
        const std::uint32_t corner = r.firstCorner[f] + t[static_cast<std::size_t>(k)];
        const auto& q =
            r.points[static_cast<std::size_t>(r.faces[f][t[static_cast<std::size_t>(k)]])];
        tri.p[static_cast<std::size_t>(k)] = {q[0], q[1], q[2]};
        tri.n[static_cast<std::size_t>(k)] = s.cornerNormals[corner];
      }
      out.push_back(tri);
    }
  }
  return out;
}

Rgb background(double yFraction) {
  const float t = static_cast<float>(yFraction);
  return {0.96f - 0.10f * t, 0.97f - 0.09f * t, 0.98f - 0.06f * t};
}

// Fraction of light reaching p (0 in shadow, 1 lit), from the light's depth map with a 3x3
// filter so shadow edges are soft.
double lightAt(const Frame& map, const View& light, const Vec3& p, double bias) {
  const Clip c = light.clip(p);
  const double fx = (c[0] * 0.5 + 0.5) * map.width(), fy = (0.5 - c[1] * 0.5) * map.height();
  const int cx = static_cast<int>(std::floor(fx)), cy = static_cast<int>(std::floor(fy));
  int lit = 0, total = 0;
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) {
      const int x = cx + dx, y = cy + dy;
      ++total;
      if (x < 0 || y < 0 || x >= map.width() || y >= map.height()) {
        ++lit;
        continue;
      }
      if (c[2] - bias <= map.depth(x, y)) ++lit;
    }
  }
  return static_cast<double>(lit) / total;
}

}  // namespace

Picture renderPreview(const ResultMesh& r, const PreviewOptions& o) {
  const Shading s = shade(r, o.sharpAngleDegrees);
  const std::vector<Triangle> tris = trianglesOf(r, s);
  // Supersampling per axis smooths the edges; very large pictures go without it, to stay in
  // memory (about 32 bytes per sample).
  const int kSuper = static_cast<long long>(o.width) * o.height <= 4'000'000 ? 2 : 1;
  const int w = o.width * kSuper, h = o.height * kSuper;

  Vec3 lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
  for (const Triangle& t : tris) {
    for (const Vec3& p : t.p) {
      lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
  }
  const bool empty = tris.empty();
  const Vec3 centre = empty ? Vec3{} : (lo + hi) * 0.5;
  const double radius = empty ? 1.0 : std::max(geom::length(hi - lo) * 0.5, 1e-9);

  // Camera: three-quarter view, the bounding sphere fitted into the narrower field.
  const double az = o.azimuthDegrees * std::numbers::pi / 180;
  const double el = o.elevationDegrees * std::numbers::pi / 180;
  View cam;
  cam.back = {std::sin(az) * std::cos(el), std::sin(el), std::cos(az) * std::cos(el)};
  cam.right = normalized(geom::cross({0, 1, 0}, cam.back));
  cam.up = geom::cross(cam.back, cam.right);
  cam.aspect = static_cast<double>(o.width) / o.height;
  const double fovY = 30 * std::numbers::pi / 180;
  const double fovX = 2 * std::atan(std::tan(fovY / 2) * cam.aspect);
  const double distance = radius / std::sin(std::min(fovX, fovY) / 2) * 1.04;
  cam.focal = 1 / std::tan(fovY / 2);
  cam.eye = centre + cam.back * distance;
  cam.nearZ = std::max(distance - 4 * radius, distance * 0.01);
  cam.farZ = distance + 4 * radius;

  // Key light from above, over the viewer's left shoulder; its orthographic depth map.
  const Vec3 toLight = normalized(cam.right * -0.6 + Vec3{0, 1, 0} * 1.2 + cam.back * 0.5);
  View light;
  light.orthographic = true;
  light.back = toLight;
  light.right =
      normalized(geom::cross(std::abs(toLight.y) < 0.99 ? Vec3{0, 1, 0} : Vec3{1, 0, 0}, toLight));
  light.up = geom::cross(light.back, light.right);
  light.eye = centre + toLight * (2 * radius);
  light.nearZ = 0;
  light.farZ = 4 * radius;
  light.halfSize = 2.6 * radius;  // covers the shadow thrown on the ground too
  // About two texels of the light's map per pixel of the picture, which keeps small pictures
  // cheap.
  const int mapSize = std::clamp(2 * std::max(o.width, o.height), 256, 2048);
  Frame shadowMap(mapSize, mapSize);
  for (std::size_t i = 0; i < tris.size(); ++i) {
    const auto& t = tris[i];
    shadowMap.draw(static_cast<std::int32_t>(i), light.clip(t.p[0]), light.clip(t.p[1]),
                   light.clip(t.p[2]));
  }
  // About three texels of the map in depth: a surface never shadows itself.
  const double bias = 12.0 / mapSize;

  // The ground: a square under the result, drawn as two triangles after the mesh's ones.
  Frame frame(w, h);
  for (std::size_t i = 0; i < tris.size(); ++i) {
    const auto& t = tris[i];
    frame.draw(static_cast<std::int32_t>(i), cam.clip(t.p[0]), cam.clip(t.p[1]), cam.clip(t.p[2]));
  }
  const double groundY = empty ? 0.0 : lo.y;
  const double g = 2.4 * radius;  // the nearest corner stays in front of the camera
  const Vec3 q[4] = {{centre.x - g, groundY, centre.z - g},
                     {centre.x + g, groundY, centre.z - g},
                     {centre.x + g, groundY, centre.z + g},
                     {centre.x - g, groundY, centre.z + g}};
  const auto groundId = static_cast<std::int32_t>(tris.size());
  if (!empty) {
    frame.draw(groundId, cam.clip(q[0]), cam.clip(q[1]), cam.clip(q[2]));
    frame.draw(groundId + 1, cam.clip(q[0]), cam.clip(q[2]), cam.clip(q[3]));
  }

  std::vector<Rgb> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  std::vector<int> pieceAt(pixels.size(), -1);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::size_t i =
          static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x);
      const std::int32_t id = frame.triangle(x, y);
      const Rgb bg = background(static_cast<double>(y) / h);
      if (id < 0) {
        pixels[i] = bg;
        continue;
      }
      const auto [b1, b2] = frame.weights(x, y);
      const double b0 = 1.0 - b1 - b2;
      if (id >= groundId) {
        // The ground takes the background's colour: only its shadow shows, fading with distance.
        const Vec3 p =
            id == groundId ? q[0] * b0 + q[1] * b1 + q[2] * b2 : q[0] * b0 + q[2] * b1 + q[3] * b2;
        const double fade = std::clamp(1.0 - geom::length(p - centre) / (2.3 * radius), 0.0, 1.0);
        const double dark = 0.38 * (1.0 - lightAt(shadowMap, light, p, bias)) * fade;
        pixels[i] = {static_cast<float>(bg[0] * (1 - dark)), static_cast<float>(bg[1] * (1 - dark)),
                     static_cast<float>(bg[2] * (1 - dark))};
        continue;
      }
      const Triangle& t = tris[static_cast<std::size_t>(id)];
      pieceAt[i] = t.piece;
      const Vec3 p = t.p[0] * b0 + t.p[1] * b1 + t.p[2] * b2;
      Vec3 n = normalized(t.n[0] * b0 + t.n[1] * b1 + t.n[2] * b2);
      const Vec3 toEye = normalized(cam.eye - p);
      if (geom::dot(n, toEye) < 0) n = n * -1.0;  // inside of an open surface
      const double shadow = lightAt(shadowMap, light, p, bias);
      const double key = std::max(0.0, geom::dot(n, toLight)) * shadow;
      const double fill = std::max(0.0, geom::dot(n, toEye)) * 0.22;
      const double sky = 0.28 + 0.12 * (n.y * 0.5 + 0.5);
      const Vec3 half = normalized(toLight + toEye);
      const double specular = 0.10 * std::pow(std::max(0.0, geom::dot(n, half)), 40) * shadow;
      const double lightSum = sky + 0.62 * key + fill;
      for (int k = 0; k < 3; ++k) {
        pixels[i][static_cast<std::size_t>(k)] =
            static_cast<float>(t.colour[static_cast<std::size_t>(k)] * lightSum + specular);
      }
    }
  }
  // A dark line where one piece meets another or the background, so neighbours stand apart.
  for (int y = 0; y + 1 < h; ++y) {
    for (int x = 0; x + 1 < w; ++x) {
      const std::size_t i =
          static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x);
      const int here = pieceAt[i];
      const int right = pieceAt[i + 1], down = pieceAt[i + static_cast<std::size_t>(w)];
      if ((here != right || here != down) && (here >= 0 || right >= 0 || down >= 0)) {
        for (float& c : pixels[i]) c *= 0.55f;
      }
    }
  }

  Picture pic;
  pic.width = o.width;
  pic.height = o.height;
  pic.rgb.resize(static_cast<std::size_t>(o.width) * static_cast<std::size_t>(o.height) * 3);
  for (int y = 0; y < o.height; ++y) {
    for (int x = 0; x < o.width; ++x) {
      for (int k = 0; k < 3; ++k) {
        double sum = 0;
        for (int dy = 0; dy < kSuper; ++dy) {
          for (int dx = 0; dx < kSuper; ++dx) {
            const std::size_t i =
                static_cast<std::size_t>(y * kSuper + dy) * static_cast<std::size_t>(w) +
                static_cast<std::size_t>(x * kSuper + dx);
            sum += pixels[i][static_cast<std::size_t>(k)];
          }
        }
        const double mean = sum / (kSuper * kSuper);
        const double v = std::isfinite(mean) ? std::clamp(mean, 0.0, 1.0) : 0.0;
        pic.rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(o.width) +
                 static_cast<std::size_t>(x)) *
                    3 +
                static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(std::lround(v * 255));
      }
    }
  }
  return pic;
}

}  // namespace cli
