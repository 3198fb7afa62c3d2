// One input port of a node as the node's ports.h declares it: id, data type, names and the
// values it is registered with. Free of the host SDK, so that the command and the tests can use
// the same declarations as port ids.
#pragma once

#include <cstdint>

namespace tsl {

// Host data-type codes of the inputs.
inline constexpr std::uint32_t kBoolData = 1;
inline constexpr std::uint32_t kLongData = 2;
inline constexpr std::uint32_t kFloatData = 4;
inline constexpr std::uint32_t kVector3Data = 16;

// A registration value: empty, or a host value of one kind (which need not match the port's
// data type: a float port may have a double default).
struct PortValue {
  enum class Kind { Empty, Vector3, Long, Double, Bool };
  Kind kind = Kind::Empty;
  double x = 0.0, y = 0.0, z = 0.0;  // Long and Bool in x
};

constexpr PortValue noValue() {
  return {};
}
constexpr PortValue vector3(float x, float y, float z) {
  return {PortValue::Kind::Vector3, x, y, z};
}
constexpr PortValue integer(std::int32_t v) {
  return {PortValue::Kind::Long, static_cast<double>(v)};
}
constexpr PortValue real(double v) {
  return {PortValue::Kind::Double, v};
}
constexpr PortValue flag(bool v) {
  return {PortValue::Kind::Bool, v ? 1.0 : 0.0};
}

struct InputPort {
  std::uint32_t id;
  std::uint32_t dataType;
  const char* name;
  const char* scriptName;
  PortValue defaultValue;
  PortValue minValue = noValue();
  PortValue maxValue = noValue();

  // A port stands for its id wherever one is asked for (connecting it, reading it).
  constexpr operator std::uint32_t() const { return id; }
};

}  // namespace tsl
