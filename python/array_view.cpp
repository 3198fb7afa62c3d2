#include "python/array_view.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace tslpy {
namespace {

// The element at byte offset off of a, as double. Requires a floating or integer kind of a
// size the switch knows (checked by the callers through numberKind).
double elementAsDouble(const ArrayView& a, std::ptrdiff_t off) {
  const char* p = static_cast<const char*>(a.data) + off;
  switch (a.kind) {
    case 'f':
      if (a.itemSize == 4) {
        float v;
        std::memcpy(&v, p, 4);
        return v;
      } else {
        double v;
        std::memcpy(&v, p, 8);
        return v;
      }
    case 'b':
      return *reinterpret_cast<const unsigned char*>(p) != 0 ? 1.0 : 0.0;
    default:
      break;
  }
  // Integers: read into 64 bits first.
  if (a.kind == 'i') {
    std::int64_t v = 0;
    switch (a.itemSize) {
      case 1: {
        std::int8_t x;
        std::memcpy(&x, p, 1);
        v = x;
        break;
      }
      case 2: {
        std::int16_t x;
        std::memcpy(&x, p, 2);
        v = x;
        break;
      }
      case 4: {
        std::int32_t x;
        std::memcpy(&x, p, 4);
        v = x;
        break;
      }
      default: {
        std::memcpy(&v, p, 8);
        break;
      }
    }
    return static_cast<double>(v);
  }
  std::uint64_t v = 0;
  switch (a.itemSize) {
    case 1: {
      std::uint8_t x;
      std::memcpy(&x, p, 1);
      v = x;
      break;
    }
    case 2: {
      std::uint16_t x;
      std::memcpy(&x, p, 2);
      v = x;
      break;
    }
    case 4: {
      std::uint32_t x;
      std::memcpy(&x, p, 4);
      v = x;
      break;
    }
    default: {
      std::memcpy(&v, p, 8);
      break;
    }
  }
  return static_cast<double>(v);
}

std::int64_t elementAsInteger(const ArrayView& a, std::ptrdiff_t off, bool& exact) {
  const char* p = static_cast<const char*>(a.data) + off;
  exact = true;
  if (a.kind == 'i' && a.itemSize == 8) {
    std::int64_t v;
    std::memcpy(&v, p, 8);
    return v;
  }
  if (a.kind == 'u' && a.itemSize == 8) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      exact = false;
      return 0;
    }
    return static_cast<std::int64_t>(v);
  }
  const double d = elementAsDouble(a, off);
  if (!(std::fabs(d) < 9.0e15) || d != std::floor(d)) {
    exact = false;
    return 0;
  }
  return static_cast<std::int64_t>(d);
}

void requireKnownKind(const ArrayView& a, bool allowFloat, bool allowInteger) {
  const bool isFloat = a.kind == 'f' && (a.itemSize == 4 || a.itemSize == 8);
  const bool isInteger = (a.kind == 'i' || a.kind == 'u') &&
                         (a.itemSize == 1 || a.itemSize == 2 || a.itemSize == 4 || a.itemSize == 8);
  if ((allowFloat && isFloat) || (allowInteger && (isInteger || a.kind == 'b'))) return;
  if (allowInteger && isFloat) return;  // whole numbers are checked value by value
  throw ConversionError(a.name + ": expected an array of " +
                        (allowFloat ? "floating-point numbers" : "integers") +
                        ", got elements of kind '" + std::string(1, a.kind ? a.kind : '?') +
                        "' and " + std::to_string(a.itemSize) + " bytes");
}

void requireShape(const ArrayView& a, std::size_t dims, std::ptrdiff_t columns,
                  const std::string& expected) {
  if (a.shape.size() != dims || a.strides.size() != dims || (dims == 2 && a.shape[1] != columns))
    throw ConversionError(a.name + ": expected an array of shape " + expected + ", got shape " +
                          a.shapeText());
  if (a.shape[0] > 0 && a.data == nullptr) throw ConversionError(a.name + ": no data");
}

}  // namespace

std::string ArrayView::shapeText() const {
  std::string s = "(";
  for (std::size_t i = 0; i < shape.size(); ++i) {
    s += (i ? ", " : "") + std::to_string(shape[i]);
  }
  if (shape.size() == 1) s += ",";
  return s + ")";
}

std::vector<std::array<double, 3>> readRows3(const ArrayView& a) {
  requireShape(a, 2, 3, "(N, 3)");
  requireKnownKind(a, true, false);
  std::vector<std::array<double, 3>> out(static_cast<std::size_t>(a.shape[0]));
  for (std::ptrdiff_t i = 0; i < a.shape[0]; ++i) {
    for (std::ptrdiff_t k = 0; k < 3; ++k) {
      const double v = elementAsDouble(a, i * a.strides[0] + k * a.strides[1]);
      if (!std::isfinite(v))
        throw ConversionError(a.name + ": row " + std::to_string(i) + " is not finite");
      out[static_cast<std::size_t>(i)][static_cast<std::size_t>(k)] = v;
    }
  }
  return out;
}

std::vector<std::array<float, 3>> readFloatRows3(const ArrayView& a) {
  const auto rows = readRows3(a);
  std::vector<std::array<float, 3>> out(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    for (int k = 0; k < 3; ++k) {
      const float f = static_cast<float>(rows[i][k]);
      if (!std::isfinite(f))
        throw ConversionError(a.name + ": row " + std::to_string(i) + " does not fit in float");
      out[i][k] = f;
    }
  }
  return out;
}

std::vector<std::vector<double>> readRows(const ArrayView& a, const std::vector<int>& widths) {
  std::string expected;
  for (int w : widths)
    expected += (expected.empty() ? "(N, " : " or (N, ") + std::to_string(w) + ")";
  bool fits = a.shape.size() == 2 && a.strides.size() == 2;
  if (fits) {
    fits = false;
    for (int w : widths) fits = fits || a.shape[1] == w;
  }
  if (!fits)
    throw ConversionError(a.name + ": expected an array of shape " + expected + ", got shape " +
                          a.shapeText());
  if (a.shape[0] > 0 && a.data == nullptr) throw ConversionError(a.name + ": no data");
  requireKnownKind(a, true, true);
  std::vector<std::vector<double>> out(static_cast<std::size_t>(a.shape[0]));
  for (std::ptrdiff_t i = 0; i < a.shape[0]; ++i) {
    auto& row = out[static_cast<std::size_t>(i)];
    for (std::ptrdiff_t k = 0; k < a.shape[1]; ++k) {
      const double v = elementAsDouble(a, i * a.strides[0] + k * a.strides[1]);
      if (!std::isfinite(v))
        throw ConversionError(a.name + ": row " + std::to_string(i) + " is not finite");
      row.push_back(v);
    }
  }
  return out;
}

std::vector<std::int64_t> readIntegers(const ArrayView& a, std::int64_t lo, std::int64_t hi) {
  requireShape(a, 1, 0, "(N,)");
  requireKnownKind(a, false, true);
  std::vector<std::int64_t> out(static_cast<std::size_t>(a.shape[0]));
  for (std::ptrdiff_t i = 0; i < a.shape[0]; ++i) {
    bool exact = true;
    const std::int64_t v = elementAsInteger(a, i * a.strides[0], exact);
    if (!exact)
      throw ConversionError(a.name + ": element " + std::to_string(i) + " is not an integer");
    if (v < lo || v > hi)
      throw ConversionError(a.name + ": element " + std::to_string(i) + " is " + std::to_string(v) +
                            ", outside " + std::to_string(lo) + " to " + std::to_string(hi));
    out[static_cast<std::size_t>(i)] = v;
  }
  return out;
}

}  // namespace tslpy
