#include "cli/png_file.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <ostream>
#include <stdexcept>
#include <string>

namespace cli {
namespace {

void writeBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::ostream*>(png_get_io_ptr(png));
  out->write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(length));
}

void flush(png_structp png) {
  static_cast<std::ostream*>(png_get_io_ptr(png))->flush();
}

// libpng's errors end in a longjmp back to writePng; the message is kept for the exception
// thrown there, so no C++ frame is ever jumped over.
thread_local char lastError[256];

[[noreturn]] void onError(png_structp png, png_const_charp message) {
  std::snprintf(lastError, sizeof lastError, "%s", message);
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

}  // namespace

void writePng(const Picture& p, std::ostream& out) {
  if (p.width <= 0 || p.height <= 0 ||
      p.rgb.size() != static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height) * 3)
    throw std::invalid_argument("a picture's pixels do not match its size");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
  if (!png) throw std::runtime_error("libpng: cannot start a PNG");
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    throw std::runtime_error("libpng: cannot start a PNG");
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error(std::string("libpng: ") + lastError);
  }
  png_set_write_fn(png, &out, writeBytes, flush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(p.width), static_cast<png_uint_32>(p.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 9);
  png_write_info(png, info);
  for (int y = 0; y < p.height; ++y) {
    const auto row = const_cast<std::uint8_t*>(p.rgb.data()) +
                     static_cast<std::size_t>(y) * static_cast<std::size_t>(p.width) * 3;
    png_write_row(png, row);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
}

}  // namespace cli
