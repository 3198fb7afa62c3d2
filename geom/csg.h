// Boolean operations on polygon meshes: closed ones, and open ones by their winding number.
//
// This header, csg_attributes.h (values carried from operand faces to result faces) and
// csg_grid.h (the float grid a result is published on) are the engine's whole interface; the
// stages live in geom/csg/, in the order Csg::compute runs them (csg/csg.cpp):
//
//   1. intake       csg/intake        mend small defects of real meshes: weld the ends of
//                                     zero-length edges, drop faces without area, take apart
//                                     solids that touch themselves (csg/sheets) and holes that
//                                     meet at a corner
//   2. prepare      csg/operand       check what cannot be mended (orientation, manifold, faces),
//                                     triangulate, build half-edges and islands
//   3. resolve      csg/resolve       a closed operand that crosses itself (csg/self_intersection)
//                                     replaced by the surface of the solid it stands for
//   4. corefine     csg/near          the triangles of the two operands that may meet;
//                   csg/corefine      CGAL's corefinement of those, stitched back into the rest;
//                                     where it meets an operand touching itself, its sheets are
//                                     set apart, and an open one crossing itself is first cut
//                                     along its crossings (csg/resolve, or csg/soup_refine
//                                     where CGAL gives up), and it runs again; where that
//                                     cut cannot be made, its faces crossing near the other
//                                     operand go (csg/drop_crossing)
//   5. classify     csg/classify      inside / outside / on of every piece, by patches and the
//                                     exact face order at the cut (csg/exact_points); points by
//                                     ray casting (csg/solid_query) or, against an open operand,
//                                     by winding number (geom/winding_number.h)
//   6. assemble     csg/assemble      kept triangles merged back into polygons (csg/merge)
//   7. round        csg/on_grid       vertices on the published grid; faces bent by it split;
//                   csg/snap          welds, slivers zipped, straight nodes dropped;
//                   csg/crossing      sheets that rounding made cross set apart;
//                   csg/operand_check the result checked as a future operand would be
//                   csg/result_resolve where that stays bad, the result resolved on the grid
//   8. attributes   csg_attributes.h  face and corner values interpolated onto the result
//
// The exact intersection work is CGAL's corefinement; CGAL is compiled only in csg/corefine.cpp,
// csg/resolve.cpp, csg/soup_refine.cpp and one unit made of the query files (see
// geom/CMakeLists.txt).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "geom/csg_grid.h"
#include "geom/polyhedron.h"

namespace geom {

class Rescale;
class Triangulator;
class CsgAttribute;

// Where a result face comes from.
struct FaceOrigin {
  std::uint8_t operand = 0;  // 0: operand a, 1: operand b
  bool reversed = false;     // wound opposite to its source face
  std::uint32_t face = 0;    // index of the source face in that operand
};

// Wall-clock seconds of the stages of the last compute.
struct CsgTimings {
  double validate = 0;          // finite, faces, closed, manifold, orientation; triangulation
  double selfIntersection = 0;  // self-intersection and island nesting tests
  double corefine = 0;          // CGAL corefinement and reading its result back
  double classify = 0;          // patches, coplanar detection, inside / outside
  double assemble = 0;          // polygon merge, vertex clean-up, provenance, corner sources
  double hooks = 0;             // triangulator, attribute interpolation, result mesh
  double total = 0;
};

// A Boolean engine. One engine may run any number of computations; the hooks and options
// attached to it apply to each. Not for use from several threads at once.
//
//   geom::Csg csg;
//   csg.attach(triangulator);  // optional
//   csg.attach(faceIds);       // geom::FaceAttr<int>, values set on a's and b's faces
//   csg.attach(uvw);           // geom::FaceVertexAttr<Uvw>
//   std::unique_ptr<geom::Polyhedron> r = csg.compute(a, b, Csg::A_MINUS_B, Csg::CLASSIFY_EDGE);
//   faceIds.getAttribute(*r, f); uvw.getAttribute(*r, f, corner); csg.origins()[f];
class Csg {
 public:
  enum OP { UNION, INTERSECTION, A_MINUS_B, B_MINUS_A, SYMMETRIC_DIFFERENCE };
  enum CLASSIFY_TYPE { CLASSIFY_NORMAL, CLASSIFY_EDGE };
  enum Operand { OPERAND_A = 0, OPERAND_B = 1 };

  Csg();
  ~Csg();
  Csg(const Csg&) = delete;
  Csg& operator=(const Csg&) = delete;

  // Triangulates every result face of more than three vertices. Triangulation always happens
  // before attribute values are assigned, whatever the order of attachment. The triangulator
  // must outlive the engine's computations.
  void attach(const Triangulator& triangulator);
  // Fills attribute values for the faces of every result from the values set on the operands'
  // faces. Several attributes may be attached; each must outlive the engine's computations.
  void attach(CsgAttribute& attribute);
  void detachAll();

  // Skips the geometric validity tests of an operand the caller knows to be a valid solid:
  // the self-intersection test and the test that its islands nest with alternating
  // orientation. The combinatorial tests (finite coordinates, faces, closed, manifold,
  // consistently oriented) still run.
  void skipSelfIntersectionCheck(Operand which, bool skip = true);

  // Results will be published in float: each vertex v as float(v), or as
  // float(rescale.rev(v)). The engine then puts every result vertex where that rounding puts
  // it and checks and repairs the result there, so that the published mesh is a valid operand
  // again, whatever way a consumer triangulates its polygons: a cut face whose corners are no
  // longer exactly in one plane comes out as the triangles that were checked. Operand vertices
  // are expected on that grid already (they came from float). Without this call results are
  // valid in double.
  void publishAsFloat();
  void publishAsFloat(const Rescale& rescale);

  // Computes op over the solids bounded by a and b and returns the result as a new mesh.
  //
  // Requires of each operand: finite coordinates; faces of at least three distinct vertices
  // that are simple polygons of non-zero area in their projection; consistently oriented (no
  // edge used twice in one direction), manifold (no edge of more than two faces, no vertex
  // where separate fans of faces meet). A closed operand (every edge used once in each
  // direction) is mended where it crosses itself and where islands lie inside the solid; it
  // stands for the points it winds around. An operand with border edges stands for the points
  // where its generalized winding number is above one half (see winding_number.h), and must
  // not cross itself where the other operand comes near. An operand without faces is valid and
  // stands for the empty solid.
  //
  // Returns: faces cut from the operands' faces, each with its source face's winding or, where
  // the operation keeps the inside of the other operand, reversed. A face nothing cuts comes
  // out whole in its input vertex order; pieces of a cut face are merged back into simple
  // polygons. Faces follow the order of their source faces, a's first. Vertices are numbered
  // in order of first use. origins() gives every result face's source.
  //
  // Afterwards every attached attribute holds values for the result's faces (see
  // csg_attributes.h), computed in the operands' own coordinates.
  //
  // Throws geom::Error naming the operand ("operand A" / "operand B") and the fault for an
  // invalid operand, and geom::Error for any failure inside the computation (CGAL exceptions,
  // memory exhaustion). On a throw no result exists, origins() is empty and the operands'
  // attribute values are untouched; the engine can be used again.
  std::unique_ptr<Polyhedron> compute(const Polyhedron& a, const Polyhedron& b, OP op,
                                      CLASSIFY_TYPE classify);

  // Provenance of the faces of the last result, one entry per face.
  const std::vector<FaceOrigin>& origins() const { return origins_; }
  const CsgTimings& timings() const { return timings_; }

 private:
  // compute, with the self-intersection test of a closed operand of one island (not touching
  // itself) deferred where deferSelfCheck: its triangles near the other operand are tested
  // before the corefinement, the triangles the result keeps after the classification. Throws
  // csg::TestInFull where a deferred test fails, or anything after deferring one does, for
  // compute to start again with the operands tested in full.
  std::unique_ptr<Polyhedron> computeOnce(const Polyhedron& a, const Polyhedron& b, OP op,
                                          CLASSIFY_TYPE type, bool deferSelfCheck);

  const Triangulator* triangulator_ = nullptr;
  std::vector<CsgAttribute*> attributes_;
  bool skipSelfCheck_[2] = {false, false};
  csg::Grid grid_;
  std::vector<FaceOrigin> origins_;
  CsgTimings timings_;
};

}  // namespace geom
