// The one exception type of the mesh kernel.
#pragma once

#include <stdexcept>

namespace geom {

// Thrown by the kernel for input it cannot take (bad indices, invalid Boolean operands). The
// message names the mesh or operand and the fault, so callers can log it as it stands.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace geom
