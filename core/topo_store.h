// The VastaTopo output record and the module store its references point into.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "geom/polyhedron.h"

namespace XSI {
class ICENodeContext;
struct CDataArrayRef;
}  // namespace XSI

namespace tsl {

struct Float3 {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
  friend bool operator==(const Float3&, const Float3&) = default;
};

struct FaceInfo {
  std::int32_t island = 0;
  std::int32_t faceId = -2;  // -2: the face carries no identifier
  friend bool operator==(const FaceInfo&, const FaceInfo&) = default;
};

// Five arrays owned by the plug-in module. A published record refers to the array objects
// themselves, so they must never be replaced or freed while the module is loaded, only
// emptied (which keeps their capacity for the next evaluation).
struct TopoStore {
  std::vector<Float3> points;
  std::vector<std::int32_t> polygons;  // per face: vertex indices, then -2
  std::vector<Float3> uvw;             // per polygon node, or empty
  std::vector<FaceInfo> faceInfo;      // per face, or empty
  std::vector<Float3> bounds;          // minimum corner, centre, maximum corner
};

// The 40-byte value of the custom output: the addresses of the five array objects.
struct VastaTopoRecord {
  const std::vector<Float3>* points;
  const std::vector<std::int32_t>* polygons;
  const std::vector<Float3>* uvw;
  const std::vector<FaceInfo>* faceInfo;
  const std::vector<Float3>* bounds;
};

static_assert(sizeof(Float3) == 12 && alignof(Float3) == 4);
static_assert(sizeof(FaceInfo) == 8 && offsetof(FaceInfo, island) == 0 &&
              offsetof(FaceInfo, faceId) == 4);
static_assert(sizeof(VastaTopoRecord) == 40);
static_assert(offsetof(VastaTopoRecord, points) == 0 && offsetof(VastaTopoRecord, polygons) == 8 &&
              offsetof(VastaTopoRecord, uvw) == 16 && offsetof(VastaTopoRecord, faceInfo) == 24 &&
              offsetof(VastaTopoRecord, bounds) == 32);
// A consumer reads each array as (first element, one past the last, end of storage).
static_assert(sizeof(std::vector<Float3>) == 24 && sizeof(std::vector<std::int32_t>) == 24 &&
              sizeof(std::vector<FaceInfo>) == 24);

// The store of this plug-in module (one per loaded library).
TopoStore& moduleStore();

// Empties the arrays in the order polygons, points, uvw, faceInfo, bounds; capacity is kept.
void clearTopoStore(TopoStore& store);

// Writes points (converted to float) and polygons (indices, then -2 per face) of mesh.
// Throws std::bad_alloc when the arrays cannot grow.
void writeMesh(TopoStore& store, const geom::Polyhedron& mesh);

// Writes bounds as (centre - extent, centre, centre + extent), computed in double.
void writeBounds(TopoStore& store, const geom::AABB& box);

// The record that refers to store's arrays.
VastaTopoRecord recordOf(const TopoStore& store);

// Resizes element 0 of the output to 40 bytes and writes the record of store into it.
// Returns false when the host gives no storage.
bool publishRecord(XSI::ICENodeContext& ctx, XSI::CDataArrayRef& output, const TopoStore& store);

// Leaves element 0 of the output with no data (a zero-length value).
void publishEmpty(XSI::ICENodeContext& ctx, XSI::CDataArrayRef& output);

}  // namespace tsl
