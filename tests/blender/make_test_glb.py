# Writes small fracture-like GLB + manifest pairs for selftest.sh, one good
# and several with a single known fault each, so every check in
# check_glb_pivots.py is shown to fire.
#
#   blender -b --factory-startup --python-exit-code 1 \
#       --python tests/blender/make_test_glb.py -- OUTDIR
#
# Pieces are laid out in glTF (Y-up) coordinates, as our writer's manifest
# is, with asymmetric offsets on every axis so that a checker with a wrong
# or missing Y-up -> Z-up conversion fails even the good file.
import json
import os
import sys

# Debian's Blender 3.4 glTF add-on still uses numpy.bool, removed in numpy 1.24.
import numpy
numpy.bool = bool

import bpy

# name -> (glTF centroid, glTF half extents, parent)
LEAVES = {
    "piece_0": ((0.5, 1.5, -2.0), (0.5, 0.5, 0.5), None),
    "piece_1_0": ((1.6, 0.8, 1.2), (0.4, 0.8, 0.3), "piece_1"),
    "piece_1_1": ((2.4, 0.6, 0.7), (0.4, 0.6, 0.2), "piece_1"),
    "piece_2": ((-1.5, 0.3, 0.9), (0.6, 0.3, 0.9), None),
}
COLOURS = [(0.8, 0.2, 0.1, 1), (0.1, 0.6, 0.2, 1), (0.2, 0.3, 0.9, 1), (0.9, 0.7, 0.1, 1)]
FAULTS = ["good", "moved-centroid", "origin-at-zero", "doubled", "no-extras",
          "extra-mesh", "missing-leaf"]


def to_blender(v):
    x, y, z = v
    return (x, -z, y)


def manifest_pieces():
    pieces = []
    for name, (c, h, _) in LEAVES.items():
        pieces.append({"name": name, "leaf": True, "centroid": list(c),
                       "bounds": {"min": [c[i] - h[i] for i in range(3)],
                                  "max": [c[i] + h[i] for i in range(3)]},
                       "volume": 8 * h[0] * h[1] * h[2]})
    kids = [p for p in pieces if p["name"].startswith("piece_1_")]
    vol = sum(k["volume"] for k in kids)
    pieces.append({"name": "piece_1", "leaf": False,
                   "centroid": [sum(k["centroid"][i] * k["volume"] for k in kids) / vol
                                for i in range(3)],
                   "bounds": {"min": [min(k["bounds"]["min"][i] for k in kids) for i in range(3)],
                              "max": [max(k["bounds"]["max"][i] for k in kids) for i in range(3)]},
                   "volume": vol})
    return pieces


def box(name, half, local_offset):
    # Vertices relative to the object's origin plus local_offset, so faults
    # can push the geometry away from where the pivot says it is.
    hx, hz, hy = half  # glTF half extents, reordered into Blender's axes
    ox, oy, oz = local_offset
    verts = [(ox + sx * hx, oy + sy * hy, oz + sz * hz)
             for sx in (-1, 1) for sy in (-1, 1) for sz in (-1, 1)]
    faces = [(0, 1, 3, 2), (4, 6, 7, 5), (0, 4, 5, 1), (2, 3, 7, 6), (0, 2, 6, 4), (1, 5, 7, 3)]
    mesh = bpy.data.meshes.new(name)
    mesh.from_pydata(verts, [], faces)
    obj = bpy.data.objects.new(name, mesh)
    bpy.context.scene.collection.objects.link(obj)
    return obj


def build(fault, pieces):
    bpy.ops.wm.read_factory_settings(use_empty=True)
    by_name = {p["name"]: p for p in pieces}
    parent = bpy.data.objects.new("piece_1", None)
    bpy.context.scene.collection.objects.link(parent)
    parent.location = to_blender(by_name["piece_1"]["centroid"])
    for i, (name, (c, h, par)) in enumerate(LEAVES.items()):
        if fault == "missing-leaf" and name == "piece_2":
            continue
        world = to_blender(c)
        if fault == "origin-at-zero":
            obj, par = box(name, h, world), None
        elif fault == "doubled":
            obj = box(name, h, world)
            obj.location = world
        else:
            obj = box(name, h, (0, 0, 0))
            obj.location = world
        if par:
            obj.parent = parent
            obj.location = [world[k] - parent.location[k] for k in range(3)]
        mat = bpy.data.materials.new(name)
        mat.use_nodes = True
        mat.node_tree.nodes["Principled BSDF"].inputs["Base Color"].default_value = COLOURS[i]
        obj.data.materials.append(mat)
        obj["centroid"] = list(c)
        obj["volume"] = by_name[name]["volume"]
    if fault == "extra-mesh":
        box("stray", (0.1, 0.1, 0.1), (0, 0, 0))


def main():
    out = sys.argv[sys.argv.index("--") + 1]
    os.makedirs(out, exist_ok=True)
    for fault in FAULTS:
        pieces = manifest_pieces()
        build(fault, pieces)
        bpy.ops.export_scene.gltf(filepath=os.path.join(out, fault + ".glb"), export_format="GLB",
                                  export_extras=fault != "no-extras", export_yup=True)
        if fault == "moved-centroid":
            # Far beyond the 1e-5 relative tolerance, yet small enough that
            # only the pivot check (not a gross mismatch) should notice it.
            next(p for p in pieces if p["name"] == "piece_2")["centroid"][1] += 0.01
        with open(os.path.join(out, fault + ".json"), "w") as f:
            json.dump({"pieces": pieces,
                       "bonds": [{"a": "piece_1_0", "b": "piece_1_1", "area": 0.32}]}, f, indent=1)


main()
