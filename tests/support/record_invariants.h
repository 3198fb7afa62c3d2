// What every published VastaTopo record must satisfy, read through its five references the way
// a consumer reads it. Plain C++ (no test framework), so the fuzz targets use the same checks
// as the tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/topo_store.h"

namespace tsl::test {

struct RecordRules {
  // faceInfo: one entry per face (Combiner, Boolean without Canonicalize), or allowed to be
  // empty (nodes that publish identifiers only when they carry them).
  bool faceInfoRequired = false;
  // uvw: empty or one entry per polygon node. Off where the node hands on its input array as
  // it came (the Combiner's unfiltered output, the Boolean pass-through).
  bool uvwPerCorner = true;
  // bounds: three finite entries (minimum, centre, maximum) enclosing every point. Only the
  // Boolean pass-through publishes no bounds, and only it may hand on non-finite points.
  bool boundsRequired = true;
};

struct RecordShape {
  std::size_t faces = 0;
  std::size_t corners = 0;
  std::size_t islands = 0;  // distinct island labels (0 when faceInfo is empty)
};

namespace detail {

inline bool finite(const Float3& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// Bounds come from the box as centre and half extent, each (min + max) / 2 and (max - min) / 2
// in double, then rounded to float: a corner can miss the extreme point by a few double steps
// of the larger bound (a point at 1e-38 in a box reaching down to -2 gets a maximum of 0) and
// by one float step.
inline bool within(float v, float lo, float hi) {
  const double slack =
      8 * 2.220446049250313e-16 * std::max(std::fabs(double(lo)), std::fabs(double(hi)));
  return double(v) >= double(std::nextafter(lo, -INFINITY)) - slack &&
         double(v) <= double(std::nextafter(hi, INFINITY)) + slack;
}

}  // namespace detail

// Appends one message per violated invariant to out; returns the record's shape.
inline RecordShape checkRecord(const VastaTopoRecord& r, const RecordRules& rules,
                               std::vector<std::string>& out) {
  RecordShape shape;
  if (!r.points || !r.polygons || !r.uvw || !r.faceInfo || !r.bounds) {
    out.push_back("a reference of the record is null");
    return shape;
  }
  const auto& points = *r.points;
  const auto& polygons = *r.polygons;
  const auto& uvw = *r.uvw;
  const auto& faceInfo = *r.faceInfo;
  const auto& bounds = *r.bounds;

  std::size_t inFace = 0;
  for (std::size_t i = 0; i < polygons.size(); ++i) {
    const std::int32_t v = polygons[i];
    if (v == -2) {
      if (inFace == 0) {
        out.push_back("polygons[" + std::to_string(i) + "] closes a polygon without vertices");
      }
      ++shape.faces;
      inFace = 0;
    } else if (v < 0 || static_cast<std::size_t>(v) >= points.size()) {
      out.push_back("polygons[" + std::to_string(i) + "] = " + std::to_string(v) +
                    " is not an index into " + std::to_string(points.size()) + " points");
      return shape;
    } else {
      ++inFace;
      ++shape.corners;
    }
  }
  if (inFace != 0) out.push_back("the last polygon is not closed by -2");

  if (faceInfo.size() != shape.faces && (rules.faceInfoRequired || !faceInfo.empty())) {
    out.push_back("faceInfo has " + std::to_string(faceInfo.size()) + " entries for " +
                  std::to_string(shape.faces) + " faces");
  }
  if (faceInfo.size() == shape.faces && !faceInfo.empty()) {
    // Island labels count up from 0 without gaps: every island has a face.
    std::vector<bool> seen;
    for (const FaceInfo& fi : faceInfo) {
      if (fi.island < 0 || static_cast<std::size_t>(fi.island) >= faceInfo.size()) {
        out.push_back("island label " + std::to_string(fi.island) + " out of range");
        return shape;
      }
      if (seen.size() <= static_cast<std::size_t>(fi.island)) seen.resize(fi.island + 1u, false);
      seen[static_cast<std::size_t>(fi.island)] = true;
    }
    for (bool s : seen) {
      if (!s) out.push_back("island labels have a gap");
    }
    shape.islands = seen.size();
  }

  if (rules.uvwPerCorner && !uvw.empty() && uvw.size() != shape.corners) {
    out.push_back("uvw has " + std::to_string(uvw.size()) + " entries for " +
                  std::to_string(shape.corners) + " polygon nodes");
  }

  if (!rules.boundsRequired && bounds.empty()) return shape;
  if (bounds.size() != 3) {
    out.push_back("bounds has " + std::to_string(bounds.size()) + " entries, not 3");
    return shape;
  }
  for (const Float3& b : bounds) {
    if (!detail::finite(b)) out.push_back("bounds are not finite");
  }
  const Float3 &lo = bounds[0], &mid = bounds[1], &hi = bounds[2];
  if (!(lo.x <= mid.x && mid.x <= hi.x && lo.y <= mid.y && mid.y <= hi.y && lo.z <= mid.z &&
        mid.z <= hi.z)) {
    out.push_back("bounds are not ordered minimum <= centre <= maximum");
  }
  for (std::size_t i = 0; i < points.size(); ++i) {
    const Float3& p = points[i];
    if (!detail::finite(p)) {
      out.push_back("point " + std::to_string(i) + " is not finite");
      break;
    }
    if (!detail::within(p.x, lo.x, hi.x) || !detail::within(p.y, lo.y, hi.y) ||
        !detail::within(p.z, lo.z, hi.z)) {
      auto str = [](const Float3& q) {
        char b[96];
        std::snprintf(b, sizeof b, "(%.9g, %.9g, %.9g)", q.x, q.y, q.z);
        return std::string(b);
      };
      out.push_back("point " + std::to_string(i) + " " + str(p) + " lies outside the bounds " +
                    str(lo) + " .. " + str(hi));
      break;
    }
  }
  return shape;
}

inline std::vector<std::string> recordViolations(const VastaTopoRecord& r,
                                                 const RecordRules& rules) {
  std::vector<std::string> out;
  checkRecord(r, rules, out);
  return out;
}

}  // namespace tsl::test
