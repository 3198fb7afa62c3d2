// Arrays handed over from Python (numpy, or anything with the buffer protocol) as the C++ side
// reads them: a typed, strided view with its name, and checked readers that make one bulk copy.
// Free of Python, so that its tests run in every build, the sanitizer build included.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tslpy {

// Input from Python that cannot be taken: a wrong shape or type, a value out of range. The
// message names the argument.
class ConversionError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// What the buffer protocol says of an array.
struct ArrayView {
  std::string name;  // the argument, for messages ("points")
  const void* data = nullptr;
  std::vector<std::ptrdiff_t> shape;
  std::vector<std::ptrdiff_t> strides;  // in bytes, one per dimension (any sign, any step)
  char kind = 0;                        // 'f' floating, 'i' signed, 'u' unsigned, 'b' bool
  std::size_t itemSize = 0;             // bytes per element
  std::shared_ptr<void> owner;          // keeps data alive, when the view must

  std::string shapeText() const;  // "(4, 2)"
};

// Rows of three finite numbers: shape (N, 3) of a floating kind (float32 or float64). Throws
// ConversionError naming the argument, the shape it has or the first row that is not finite.
std::vector<std::array<double, 3>> readRows3(const ArrayView& a);

// The same for (N, 3) float values of UVW: finite floats (float64 values beyond float's range
// are refused).
std::vector<std::array<float, 3>> readFloatRows3(const ArrayView& a);

// Rows of width numbers, width in widths (for knife placements: 3 or 7), as doubles, finite.
std::vector<std::vector<double>> readRows(const ArrayView& a, const std::vector<int>& widths);

// A one-dimensional array of integers (any integer kind, or floats that hold whole numbers
// exactly), each within [lo, hi]. Throws ConversionError naming the argument and the first
// value out of range.
std::vector<std::int64_t> readIntegers(const ArrayView& a, std::int64_t lo, std::int64_t hi);

}  // namespace tslpy
