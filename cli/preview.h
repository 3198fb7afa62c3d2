// A picture of a result: a three-quarter view fitted to it, lit, with a ground shadow.
#pragma once

#include "cli/png_file.h"
#include "cli/result_mesh.h"

namespace cli {

struct PreviewOptions {
  int width = 800, height = 600;  // pixels; each 16 to 4096
  double sharpAngleDegrees = 30;  // where shading creases, as in shade()
  double azimuthDegrees = 35;     // camera about +y, from +z towards +x
  double elevationDegrees = 25;   // camera above the ground, -89 to 89
};

// Renders result with +y up, seen from the options' azimuth and elevation (by default from
// the front right and above), the camera fitted to the bounding sphere of the faces. Each
// piece has its own colour (by identifier when there is one piece), cut faces are lighter;
// a key light casts shadows on the result and on the ground under it, a fill light and an
// ambient term keep the dark side readable. A result without faces gives the background alone.
Picture renderPreview(const ResultMesh& result, const PreviewOptions& options);

}  // namespace cli
