// PNG pictures through libpng.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

namespace cli {

struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;  // width * height * 3, rows from the top
};

// Writes picture as an 8-bit RGB PNG to out. Requires rgb.size() == width * height * 3 and a
// positive size. Throws std::runtime_error when libpng fails; the caller checks the stream.
void writePng(const Picture& picture, std::ostream& out);

}  // namespace cli
