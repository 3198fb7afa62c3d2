#include "cli/run_outputs.h"

#include <filesystem>

#include "cli/gltf_output.h"
#include "cli/png_file.h"
#include "cli/preview.h"
#include "cli/text_output.h"

namespace cli {

std::string mtlPathFor(const std::string& objPath) {
  return std::filesystem::path(objPath).replace_extension(".mtl").string();
}

RunOutputs::RunOutputs(const RunOptions& options)
    : options_(options),
      mesh_(options.output, {".obj", ".ply", ".glb"}),
      preview_(options.preview, {".png"}) {
  if (mesh_.wanted() && lowerExtension(options.output) == ".obj") {
    mtl_ =
        std::make_unique<OutputFile>(mtlPathFor(options.output), std::vector<std::string>{".mtl"});
  }
}

void RunOutputs::write(const ResultMesh& result, const NameTable& names) {
  if (mesh_.wanted()) {
    const std::string ext = lowerExtension(mesh_.path());
    if (ext == ".obj") {
      mtl_->commit([&](std::ostream& out) { writeMtl(result, names, out); });
      const std::string mtlName = std::filesystem::path(mtl_->path()).filename().string();
      mesh_.commit([&](std::ostream& out) { writeObj(result, names, mtlName, out); });
    } else if (ext == ".ply") {
      mesh_.commit([&](std::ostream& out) { writePly(result, names, out); });
    } else {
      std::vector<geom::Vec3> pivots;
      if (options_.pivot == "centroid") pivots = pieceCentroids(result);
      mesh_.commit(
          [&](std::ostream& out) { writeGlb(result, names, options_.sharpAngle, pivots, out); });
    }
    meshDone_ = mesh_.path();
  }
  if (preview_.wanted()) {
    PreviewOptions po;
    po.width = options_.previewSize[0];
    po.height = options_.previewSize[1];
    po.sharpAngleDegrees = options_.sharpAngle;
    po.azimuthDegrees = options_.previewAngle[0];
    po.elevationDegrees = options_.previewAngle[1];
    preview_.commit([&](std::ostream& out) { writePng(renderPreview(result, po), out); });
    previewDone_ = preview_.path();
  }
}

}  // namespace cli
