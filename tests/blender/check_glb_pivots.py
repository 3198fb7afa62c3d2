# Checks that a fracture GLB puts each piece's pivot at its centroid.
#
#   blender -b --factory-startup --python-exit-code 1 \
#       --python tests/blender/check_glb_pivots.py -- FILE.glb MANIFEST.json
#
# Exit 0 when every leaf piece of the manifest passes, 1 otherwise (including
# any exception, so a broken file never looks like a pass).
import json
import sys
import traceback

# Debian's Blender 3.4 glTF importer still uses numpy.bool, which numpy 1.24
# removed; restore the alias before the importer module is loaded.
import numpy
numpy.bool = bool

import bpy

REL_TOL = 1e-5


def gltf_to_blender(p):
    # The importer turns glTF's +Y-up into Blender's +Z-up: (x, y, z) -> (x, -z, y).
    # The manifest is in the file's (glTF) frame, so convert before comparing.
    x, y, z = (float(c) for c in p)
    return numpy.array([x, -z, y])


def gltf_box_to_blender(lo, hi):
    # Negating z swaps which corner is the minimum along Blender's Y.
    a, b = gltf_to_blender(lo), gltf_to_blender(hi)
    return numpy.minimum(a, b), numpy.maximum(a, b)


def world_bounds(obj):
    n = len(obj.data.vertices)
    if n == 0:
        return None
    co = numpy.empty(n * 3)
    obj.data.vertices.foreach_get("co", co)
    m = numpy.array(obj.matrix_world)
    w = co.reshape(n, 3) @ m[:3, :3].T + m[:3, 3]
    return w.min(axis=0), w.max(axis=0)


def find_prop(obj, key):
    # Node extras land on the Object; mesh extras on its Mesh data block.
    if key in obj.keys():
        return obj[key], "object"
    if obj.data is not None and key in obj.data.keys():
        return obj.data[key], "mesh"
    return None, None


def check(glb, manifest_path):
    with open(manifest_path) as f:
        manifest = json.load(f)
    leaves = [p for p in manifest["pieces"] if p.get("leaf", True)]
    if not leaves:
        return ["manifest has no leaf pieces"], 0, 0.0

    # Tolerance scales with the whole result, so large scenes are not held to
    # an absolute epsilon that float32 vertex data could never meet.
    lo = numpy.min([p["bounds"]["min"] for p in leaves], axis=0)
    hi = numpy.max([p["bounds"]["max"] for p in leaves], axis=0)
    size = float(numpy.linalg.norm(hi - lo)) or 1.0
    tol = REL_TOL * size

    # Start from an empty scene: factory startup has a default Cube that
    # would otherwise count as an extra mesh.
    bpy.ops.wm.read_factory_settings(use_empty=True)
    if bpy.ops.import_scene.gltf(filepath=glb) != {"FINISHED"}:
        return ["glTF import did not finish"], 0, 0.0
    # The 3.4 importer already leaves matrix_world current; cheap insurance
    # against an importer that only sets location/parent.
    bpy.context.view_layer.update()

    fails = []
    meshes = {o.name: o for o in bpy.data.objects if o.type == "MESH"}
    leaf_names = {p["name"] for p in leaves}
    for name in sorted(set(meshes) - leaf_names):
        fails.append(f"{name}: mesh object that is not a leaf piece")

    worst = 0.0
    for p in leaves:
        name = p["name"]
        obj = meshes.get(name)
        if obj is None:
            fails.append(f"{name}: no mesh object for leaf piece")
            continue
        want = gltf_to_blender(p["centroid"])
        err = float(numpy.abs(numpy.array(obj.matrix_world.translation) - want).max())
        worst = max(worst, err)
        if err > tol:
            fails.append(f"{name}: origin {tuple(obj.matrix_world.translation)} "
                         f"is {err:.3g} from centroid {tuple(want)} (tol {tol:.3g})")

        got = world_bounds(obj)
        bmin, bmax = gltf_box_to_blender(p["bounds"]["min"], p["bounds"]["max"])
        if got is None:
            fails.append(f"{name}: mesh has no vertices")
        else:
            berr = float(max(numpy.abs(got[0] - bmin).max(), numpy.abs(got[1] - bmax).max()))
            if berr > tol:
                fails.append(f"{name}: world bounds {got[0].tolist()}..{got[1].tolist()} "
                             f"differ by {berr:.3g} from manifest {bmin.tolist()}..{bmax.tolist()}")

        value, _ = find_prop(obj, "centroid")
        if value is None:
            fails.append(f"{name}: no 'centroid' custom property (node extras missing)")
        else:
            # Extras are copied verbatim, so they stay in the file's Y-up frame.
            vals = value.to_list() if hasattr(value, "to_list") else value
            try:
                d = float(numpy.abs(numpy.array(vals, dtype=float) - numpy.array(p["centroid"])).max())
            except (TypeError, ValueError):
                d = float("inf")
            if not d <= tol:
                fails.append(f"{name}: 'centroid' property {vals} disagrees with manifest {p['centroid']}")
    return fails, len(leaves), worst / size


def main():
    argv = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
    if len(argv) != 2:
        print("usage: blender -b --factory-startup --python-exit-code 1 --python "
              "check_glb_pivots.py -- FILE.glb MANIFEST.json")
        return 2
    fails, n, rel = check(argv[0], argv[1])
    for f in fails:
        print("FAIL", f)
    print(f"check_glb_pivots: {n} pieces checked, largest origin error {rel:.3g} of size, "
          f"{len(fails)} failures")
    return 1 if fails else 0


try:
    code = main()
except Exception:
    traceback.print_exc()
    code = 1
sys.stdout.flush()
sys.exit(code)
