// A z-buffer rasterizer of triangles, enough for the preview pictures: no dependency on a GPU,
// a display or a GL library, and the same pixels on every machine.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace cli {

// A vertex in clip space: x, y, z, w as a projection matrix gives them.
using Clip = std::array<double, 4>;

// Per pixel of a width x height frame (row 0 at the top): the nearest depth (NDC z, -1 at the
// near plane), the triangle drawn there (-1: none) and its perspective-correct barycentric
// weights of corners 1 and 2.
class Frame {
 public:
  Frame(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }
  float depth(int x, int y) const { return depth_[index(x, y)]; }
  std::int32_t triangle(int x, int y) const { return triangle_[index(x, y)]; }
  std::array<float, 2> weights(int x, int y) const { return weights_[index(x, y)]; }

  // Draws triangle id with corners a, b, c (any winding; no culling). Parts behind the camera
  // (w <= 0) or beyond -1..1 in NDC z are left out; pixel centres on a shared edge belong to
  // one of the two triangles.
  void draw(std::int32_t id, const Clip& a, const Clip& b, const Clip& c);

 private:
  std::size_t index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
           static_cast<std::size_t>(x);
  }
  int width_, height_;
  std::vector<float> depth_;
  std::vector<std::int32_t> triangle_;
  std::vector<std::array<float, 2>> weights_;
};

}  // namespace cli
