// The CGAL surface mesh that the engine's CGAL translation units (corefinement, resolution)
// build operands in. Include it only from those units: it brings in CGAL.
#pragma once

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/corefinement.h>
#include <CGAL/Surface_mesh.h>

namespace geom::csg::cgal {

using K = CGAL::Exact_predicates_inexact_constructions_kernel;
using Point = K::Point_3;
using Mesh = CGAL::Surface_mesh<Point>;
using VI = Mesh::Vertex_index;
using HI = Mesh::Halfedge_index;
using FI = Mesh::Face_index;
using EI = Mesh::Edge_index;
namespace PMP = CGAL::Polygon_mesh_processing;

}  // namespace geom::csg::cgal
