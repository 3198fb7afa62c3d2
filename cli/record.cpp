#include "cli/record.h"

#include <cstring>
#include <stdexcept>

namespace cli {
namespace {

// The representation the producer's standard library gives a vector: first element, one past
// the last, end of storage.
template <class T>
std::vector<T> readVector(const void* object) {
  const T* range[3];
  std::memcpy(range, object, sizeof range);
  if (range[0] == nullptr || range[1] < range[0]) return {};
  return std::vector<T>(range[0], range[1]);
}

}  // namespace

std::size_t TopoMesh::faceCount() const {
  std::size_t n = 0;
  for (std::int32_t v : polygons) n += v == -2;
  return n;
}

TopoMesh readRecord(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != 5 * sizeof(void*)) throw std::runtime_error("the record is not 40 bytes");
  const void* refs[5];
  std::memcpy(refs, bytes.data(), sizeof refs);
  TopoMesh m;
  m.points = readVector<std::array<float, 3>>(refs[0]);
  m.polygons = readVector<std::int32_t>(refs[1]);
  m.uvw = readVector<std::array<float, 3>>(refs[2]);
  m.faceInfo = readVector<std::array<std::int32_t, 2>>(refs[3]);
  m.bounds = readVector<std::array<float, 3>>(refs[4]);
  return m;
}

}  // namespace cli
